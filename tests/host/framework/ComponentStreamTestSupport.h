// Window descriptions for the tests of the binary and the text form: a
// stream assembled byte by byte, sample forms, and readers that answer
// with the error message.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ComponentText.h"
#include "SysUtils.h"

namespace ComponentStreamTestSupport {

using TBytes = std::vector<std::uint8_t>;

// Assembles a stream by hand, byte by byte, as the format describes it.
struct TAsm {
  TBytes B;
  TAsm& Raw(std::initializer_list<int> Bytes) {
    for (int X : Bytes)
      B.push_back(static_cast<std::uint8_t>(X));
    return *this;
  }
  TAsm& Raw(const TBytes& Bytes) {
    B.insert(B.end(), Bytes.begin(), Bytes.end());
    return *this;
  }
  TAsm& Chars(std::string_view S) {
    B.insert(B.end(), S.begin(), S.end());
    return *this;
  }
  TAsm& Short(std::string_view S) {
    B.push_back(static_cast<std::uint8_t>(S.size()));
    return Chars(S);
  }
  TAsm& LE(std::uint64_t V, int N) {
    for (int I = 0; I < N; ++I)
      B.push_back(static_cast<std::uint8_t>(V >> (8 * I)));
    return *this;
  }
  TAsm& Signature() { return Chars("TPF0"); }
};

inline TStreamObject Read(const TBytes& Bytes) {
  TMemoryStream S(Bytes);
  return ReadComponentStream(S);
}

inline TBytes Write(const TStreamObject& Obj) {
  TMemoryStream S;
  WriteComponentStream(S, Obj);
  return S.Data();
}

// The message of the framework error that reading raises; "" when it loads.
inline std::string ReadError(const TBytes& Bytes) {
  try {
    Read(Bytes);
  } catch (const EReadError& E) {
    return E.Message();
  }
  return "";
}

inline std::string ParseError(std::string_view Text, const TFileLoader& Loader = {}) {
  try {
    ParseComponentText(Text, Loader);
  } catch (const EParserError& E) {
    return E.Message();
  }
  return "";
}

inline TBytes MakeJpeg(std::size_t Size) {
  TBytes J(Size);
  for (std::size_t I = 0; I < Size; ++I)
    J[I] = static_cast<std::uint8_t>(I * 37 + 11);
  J[0] = 0xFF, J[1] = 0xD8, J[2] = 0xFF, J[3] = 0xE0;
  J[Size - 2] = 0xFF, J[Size - 1] = 0xD9;
  return J;
}

inline TBytes MakeIcon() {
  TBytes I = {0, 0, 1, 0, 1, 0, 32, 32, 16, 0};
  for (int K = 0; K < 40; ++K)
    I.push_back(static_cast<std::uint8_t>(K));
  return I;
}

// One property of every value type, each in the form the writer itself chooses.
inline TBytes EveryValueTypeStream() {
  TAsm A;
  A.Signature().Short("TForm1").Short("Form1");
  A.Short("PNull").Raw({vaNull});
  A.Short("PList").Raw({vaList, vaInt8, 1, vaString}).Short("x").Raw({vaList, vaNull, vaNull});
  A.Short("PInt8").Raw({vaInt8, 0x80});
  A.Short("PInt16").Raw({vaInt16}).LE(static_cast<std::uint16_t>(-300), 2);
  A.Short("PInt32").Raw({vaInt32}).LE(100000, 4);
  A.Short("PExtended").Raw({vaExtended, 0xCD, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F});  // 0.1
  A.Short("PExtendedHalf").Raw({vaExtended, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F});                   // 1.5
  A.Short("PString").Raw({vaString}).Short("It's\r\n\x01\xE9");
  A.Short("PIdent").Raw({vaIdent}).Short("clBtnFace");
  A.Short("PIdentKeyword").Raw({vaIdent}).Short("True");
  A.Short("PIdentOdd").Raw({vaIdent}).Short("a b'c");
  A.Short("PFalse").Raw({vaFalse});
  A.Short("PTrue").Raw({vaTrue});
  A.Short("PBinary").Raw({vaBinary}).LE(40, 4);
  for (int I = 0; I < 40; ++I)
    A.Raw({I * 7});
  A.Short("PSet").Raw({vaSet}).Short("biSystemMenu").Short("biMinimize").Raw({0});
  A.Short("PEmptySet").Raw({vaSet, 0});
  std::string Long(300, 'L');
  Long[7] = '\'';
  Long[100] = '\n';
  A.Short("PLString").Raw({vaLString}).LE(Long.size(), 4).Chars(Long);
  A.Short("PNil").Raw({vaNil});
  A.Short("PCollection").Raw({vaCollection, vaList}).Short("Caption").Raw({vaString}).Short("a").Raw({0});
  A.Raw({vaInt16}).LE(1000, 2).Raw({vaList}).Short("Width").Raw({vaInt8, 5}).Raw({0});
  A.Raw({vaList, 0});  // an item with no properties
  A.Raw({vaNull});
  A.Short("PEmptyCollection").Raw({vaCollection, vaNull});
  A.Short("PSingle").Raw({vaSingle}).LE(0x3DCCCCCD, 4);     // 0.1f
  A.Short("PSingleNaN").Raw({vaSingle}).LE(0x7FA00001, 4);  // a signalling NaN with a payload
  A.Short("PCurrency").Raw({vaCurrency}).LE(static_cast<std::uint64_t>(-123456789), 8);
  A.Short("PDate").Raw({vaDate}).LE(0x40E5F9D000000000, 8);  // 45006.5
  A.Short("PWString").Raw({vaWString}).LE(5, 4).LE(u'c', 2).LE(0xE9, 2).LE(0xD83D, 2).LE(0xDE00, 2).LE(0xDC00, 2);
  A.Short("PInt64").Raw({vaInt64}).LE(0x123456789ABCDEF0, 8);
  A.Short("PUTF8").Raw({vaUTF8String}).LE(6, 4).Chars("caf\xC3\xA9!");
  A.Short("PDouble").Raw({vaDouble}).LE(0x3FB999999999999A, 8);  // 0.1
  A.Short("PDoubleInf").Raw({vaDouble}).LE(0xFFF0000000000000, 8);
  A.Raw({0});                                                       // end of properties
  A.Raw({0xF3, vaInt8, 2}).Short("TButton").Short("").Raw({0, 0});  // inherited, child position 2
  A.Raw({0xF4}).Short("TFrame").Short("Frame1").Short("Left").Raw({vaInt8, 3}).Raw({0, 0});
  A.Raw({0xF0 | ffInherited | ffInline}).Short("TPanel").Short("end").Raw({0, 0});
  A.Raw({0});  // end of children
  return A.B;
}

// The small form of the installer: a window with one picture whose JPEG is 551 bytes.
inline TBytes SmallFormStream(const TBytes& Jpeg) {
  TAsm A;
  A.Signature().Short("TInstallerForm").Short("InstallerForm");
  A.Short("BorderStyle").Raw({vaIdent}).Short("bsSingle");
  A.Short("Caption").Raw({vaString}).Short("Install Screensaver");
  A.Short("ClientHeight").Raw({vaInt16}).LE(304, 2);
  A.Short("Color").Raw({vaIdent}).Short("clBtnFace");
  A.Short("Font.Height").Raw({vaInt8, 0xF5});
  A.Short("Font.Name").Raw({vaString}).Short("MS Sans Serif");
  A.Short("Font.Style").Raw({vaSet, 0});
  A.Short("BorderIcons").Raw({vaSet}).Short("biSystemMenu").Raw({0});
  A.Short("OnCreate").Raw({vaIdent}).Short("FormCreate");
  A.Raw({0});
  A.Short("TImage").Short("Image1");
  A.Short("Left").Raw({vaInt8, 0xF8});
  A.Short("AutoSize").Raw({vaTrue});
  A.Short("Picture.Data").Raw({vaBinary}).LE(1 + 10 + 4 + Jpeg.size(), 4);
  A.Short("TJPEGImage").LE(Jpeg.size(), 4).Raw(Jpeg);
  A.Raw({0, 0});
  A.Raw({0});
  return A.B;
}

inline const char* SmallFormText =
    "object InstallerForm: TInstallerForm\n"
    "  BorderStyle = bsSingle\n"
    "  Caption = 'Install Screensaver'\n"
    "  ClientHeight = 304\n"
    "  Color = clBtnFace\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  Font.Style = []\n"
    "  BorderIcons = [biSystemMenu]\n"
    "  OnCreate = FormCreate\n"
    "  object Image1: TImage\n"
    "    Left = -8\n"
    "    AutoSize = True\n"
    "    Picture.Data = file 'background.jpg' as TJPEGImage\n"
    "  end\n"
    "end\n";

// Binary -> model -> binary, and model -> text -> model -> binary -> text.
inline void ExpectRoundTrips(const TBytes& Bytes) {
  const auto Model = Read(Bytes);
  ASSERT_EQ(Write(Model), Bytes);
  const auto Text = PrintComponentText(Model);
  const auto Reparsed = ParseComponentText(Text);
  ASSERT_EQ(Reparsed, Model) << Text;
  ASSERT_EQ(Write(Reparsed), Bytes) << Text;
  ASSERT_EQ(PrintComponentText(Reparsed), Text);
}

}  // namespace ComponentStreamTestSupport
