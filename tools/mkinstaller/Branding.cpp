#include "Branding.h"

#include <array>
#include <cstdio>
#include <memory>

#include "Classes.h"
#include "ComponentStream.h"
#include "FileFormats.h"
#include "Files.h"
#include "IconFile.h"
#include "Internal.h"
#include "JpegDecoder.h"
#include "LittleEndian.h"
#include "PeImage.h"
#include "PoTexts.h"
#include "SysUtils.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

// Of the icon's 32 x 32 images, the one with the most colours: the one the
// installer window's out-of-sight title picture keeps.
const TIconImage& TitleImage(const TBrandFile& File, const std::vector<TIconImage>& Images) {
  const TIconImage* Best = nullptr;
  for (const TIconImage& Image : Images)
    if (Image.Width == IconSize && Image.Height == IconSize && (!Best || Image.BitCount > Best->BitCount))
      Best = &Image;
  if (!Best)
    throw EFailure(File.Name + " holds no " + Dimensions(IconSize, IconSize) + " image");
  return *Best;
}

std::vector<TIconImage> ReadIcon(const TBrandFile& File) {
  try {
    return ParseIconFile(File.Data);
  } catch (const EPeError& Error) {
    throw EFailure(File.Name + " is not an icon file: " + Error.what());
  }
}

// The code points of UTF-8 `Text`; throws EFailure where it is no UTF-8.
std::u32string CodePoints(const std::string& Text) {
  std::u32string Points;
  if (!DecodeUtf8(Text, Points))
    throw EFailure("button label is not UTF-8 text");
  return Points;
}

// The label (`Units` its UTF-16) as the description stores text: plain when
// it is ASCII, else UTF-16, which the installer turns into its code page's
// spelling.
TStreamValue HintValue(const std::string& Label, const std::u16string& Units) {
  bool Ascii = true;
  for (char16_t Unit : Units)
    Ascii = Ascii && Unit < 0x80;
  if (Ascii)
    return TStreamValue::String(Label);
  return TStreamValue::WideString(Units);
}

// A reader's message about a damaged description, which may quote names
// read from it: bytes in the host's ANSI code page, shown as printable ASCII.
std::string DescriptionText(const std::string& Message) {
  return Printable(std::u16string(Message.begin(), Message.end()));
}

// The window description with the pictures given in place of its own, and
// the Install button's hint when `Hint` is given.
std::vector<std::uint8_t> RewriteDescription(const std::vector<std::uint8_t>& Stored, const std::string& HostName,
                                             const TBrandFiles& Files, const std::vector<std::uint8_t>& TitleIcon,
                                             const std::optional<TStreamValue>& Hint) {
  TMemoryStream In(Stored);
  TStreamObject Root;
  try {
    Root = ReadComponentStream(In);
  } catch (const Exception& Error) {
    throw EFailure(HostName + " has a window description that cannot be read: " + DescriptionText(Error.Message()));
  }
  const auto Replace = [&](const char* Control, const char* Property, const char* ClassName,
                           const std::vector<std::uint8_t>& Data) {
    TStreamProperty* Found = LastProperty(FindControl(Root, Control), Property);
    if (!Found)
      throw EFailure(HostName + " has no " + Control + "." + Property + " in its window description");
    Found->Value = TStreamValue::Binary(EncodePictureValue({ClassName, Data}));
  };
  if (Files.Background.Given)
    Replace("Image1", "Picture.Data", "TJPEGImage", Files.Background.Data);
  if (Files.Button.Given)
    for (const char* Property : {"Picture.Data", "OriginPicture.Data", "DownPicture.Data"})
      Replace("MouseEffectImage1", Property, "TJPEGImage", Files.Button.Data);
  if (Files.Hover.Given)
    Replace("MouseEffectImage1", "OverPicture.Data", "TJPEGImage", Files.Hover.Data);
  if (Files.Icon.Given)
    Replace("imgTitle", "Picture.Data", "TIcon", TitleIcon);
  if (Hint) {
    TStreamObject* Button = FindControl(Root, "MouseEffectImage1");
    if (!Button)
      throw EFailure(HostName + " has no MouseEffectImage1 in its window description");
    TStreamProperty* HintProperty = LastProperty(Button, "Hint");
    if (!HintProperty)
      HintProperty = &Button->Properties.emplace_back(TStreamProperty{"Hint", TStreamValue::Null()});
    HintProperty->Value = *Hint;
  }

  TMemoryStream Out;
  try {
    WriteComponentStream(Out, Root);
  } catch (const Exception& Error) {
    throw EFailure(HostName +
                   " has a window description that cannot be written back: " + DescriptionText(Error.Message()));
  }
  std::vector<std::uint8_t> Rewritten = Out.Data();
  // Whatever followed the description in the resource stays behind it.
  Rewritten.insert(Rewritten.end(), Stored.begin() + static_cast<std::ptrdiff_t>(In.Position()), Stored.end());
  return Rewritten;
}

// The host's double-size pictures (a description of their own, each under the
// picture property it doubles) with the files given, or null when none is
// left; `Stored` is the host's (null if it has none), `Form` the window
// description, whose root the new one names.
std::unique_ptr<std::vector<std::uint8_t>> RewriteDoubleSize(const TResource* Stored, const TResource& Form,
                                                             const std::string& HostName, const TBrandFiles& Files) {
  TStreamObject Root;
  try {
    TMemoryStream In(Stored ? Stored->Data : Form.Data);
    Root = ReadComponentStream(In);
  } catch (const Exception& Error) {
    throw EFailure(HostName + " has " + (Stored ? "double-size pictures" : "a window description") +
                   " that cannot be read: " + Error.Message());
  }
  if (!Stored) {
    Root.Properties.clear();
    Root.Children.clear();
  }
  const struct {
    const char* Key;
    const TBrandFile& Single;
    const TBrandFile& Double;
  } Doubles[] = {
      {"Image1.Picture", Files.Background, Files.Background2x},
      {"MouseEffectImage1.Picture", Files.Button, Files.Button2x},
      {"MouseEffectImage1.OriginPicture", Files.Button, Files.Button2x},
      {"MouseEffectImage1.DownPicture", Files.Button, Files.Button2x},
      {"MouseEffectImage1.OverPicture", Files.Hover, Files.Hover2x},
  };
  for (const auto& D : Doubles) {
    if (!D.Single.Given && !D.Double.Given)
      continue;
    std::erase_if(Root.Properties, [&](const TStreamProperty& P) { return P.Name == D.Key; });
    if (D.Double.Given)
      Root.Properties.push_back({D.Key, TStreamValue::Binary(EncodePictureValue({"TJPEGImage", D.Double.Data}))});
  }
  if (Root.Properties.empty())
    return nullptr;
  TMemoryStream Out;
  WriteComponentStream(Out, Root);
  return std::make_unique<std::vector<std::uint8_t>>(Out.Data());
}

}  // namespace

TPeImage CheckHost(std::vector<std::uint8_t> Host, const std::string& HostName) {
  const auto NotOurs = [&](const std::string& Why) {
    return EFailure(HostName + " is not an InstallerWin program: " + Why);
  };
  // Parse checks the rest of the headers; these two it does not need.
  if (Host.size() >= DosHeader::Size && Host[0] == 'M' && Host[1] == 'Z') {
    const std::uint64_t Pe = Get32(Host, DosHeader::NewHeaderPointer, "");
    const std::uint64_t FileHeaderAt = Pe + PeSignatureSize;
    if (Fits(Host, FileHeaderAt, FileHeader::Size) && Get32(Host, Pe, "") == PeSignature) {
      if (const std::uint16_t Machine = Get16(Host, FileHeaderAt + FileHeader::Machine, "");
          Machine != FileHeader::MachineAmd64) {
        char Hex[8];
        std::snprintf(Hex, sizeof Hex, "%04X", Machine);
        throw NotOurs(std::string("it is not an x86-64 program (machine 0x") + Hex + ")");
      }
      if (Get16(Host, FileHeaderAt + FileHeader::Characteristics, "") & FileHeader::Dll)
        throw NotOurs("it is a DLL, not a program");
    }
  }
  TPeImage Image = [&] {
    try {
      return TPeImage::Parse(std::move(Host));
    } catch (const EPeError& Error) {
      throw NotOurs(Error.what());
    }
  }();
  if (const std::string Product = Image.VersionString("ProductName"); Product != HostProduct)
    throw NotOurs(Product.empty() ? "its version information names no product"
                                  : "its version information names the product '" + Product + "'");
  if (!Image.Find(FormType, FormName))
    throw NotOurs("it has no window description TINSTALLERFORM");
  if (!Image.Find(SkinType, SkinName))
    throw NotOurs("it has no skin resource EXEFILE/SKINRES");
  // A package's signature would cover the host alone, and branding would
  // break it; a host that is a package already would carry two payloads.
  if (Image.HasCertificateTable())
    throw EFailure(HostName + " is signed: use the program as built, and sign the package afterwards");
  if (const std::uint64_t Overlay = Image.OverlaySize(); Overlay != 0)
    throw EFailure(HostName + " carries " + std::to_string(Overlay) + (Overlay == 1 ? " byte" : " bytes") +
                   " past its image: use the program as built, not a package");
  return Image;
}

void CheckPicture(const TBrandFile& File, int Width, int Height) {
  const std::vector<std::uint8_t>& Data = File.Data;
  if (Data.size() < 3 || Data[0] != 0xFF || Data[1] != 0xD8 || Data[2] != 0xFF)
    throw EFailure(File.Name + " is not a JPEG file");
  const auto WrongSize = [&](int W, int H) {
    return EFailure(File.Name + " is " + Dimensions(W, H) + " pixels; it must be " + Dimensions(Width, Height));
  };
  // A picture of the wrong size is not worth decoding.
  if (int W = 0, H = 0; ReadJpegSize(Data.data(), Data.size(), W, H) && (W != Width || H != Height))
    throw WrongSize(W, H);
  TDecodedImage Image;
  try {
    Image = DecodeJpeg(Data.data(), Data.size());
  } catch (const Exception& Error) {
    throw EFailure(File.Name + " cannot be decoded by the installer: " + Error.Message());
  }
  if (Image.Width != Width || Image.Height != Height)
    throw WrongSize(Image.Width, Image.Height);
  if (Image.Components != 1 && Image.Components != 3)
    throw EFailure(File.Name + " has " + std::to_string(Image.Components) +
                   " colour components (CMYK?); the installer takes grey or colour pictures");
  if (!Image.Warning.empty())
    throw EFailure(File.Name + " is damaged: " + Image.Warning);
}

std::u16string CheckButtonLabel(const std::string& Label) {
  const std::u32string Points = CodePoints(Label);
  const std::size_t Length = Points.size();
  if (Length == 0)
    throw EFailure("button label is empty");
  if (Length > MaxButtonLabel)
    throw EFailure("button label is " + std::to_string(Length) + " characters long; at most " +
                   std::to_string(MaxButtonLabel) + " are taken");
  if (const std::string Problem = TextProblem(Points); !Problem.empty())
    throw EFailure("button label " + Problem);
  const std::u16string Units = Utf16(Points);
  bool Spelt = false;
  for (const TLanguage& Language : Languages)
    Spelt = Spelt || SpellableIn(Language.CodePage, Units);
  if (!Spelt)
    throw EFailure("button label cannot be spelt in any one Windows ANSI code page");
  return Units;
}

std::vector<std::uint8_t> BrandHost(std::vector<std::uint8_t> Host, const std::string& HostName,
                                    const TBrandFiles& Files) {
  std::optional<TStreamValue> Hint;
  if (Files.ButtonLabel)
    Hint = HintValue(*Files.ButtonLabel, CheckButtonLabel(*Files.ButtonLabel));
  if (Files.Background.Given)
    CheckPicture(Files.Background, BackgroundWidth, BackgroundHeight);
  if (Files.Button.Given)
    CheckPicture(Files.Button, ButtonWidth, ButtonHeight);
  if (Files.Hover.Given)
    CheckPicture(Files.Hover, ButtonWidth, ButtonHeight);
  if (Files.Background2x.Given)
    CheckPicture(Files.Background2x, 2 * BackgroundWidth, 2 * BackgroundHeight);
  if (Files.Button2x.Given)
    CheckPicture(Files.Button2x, 2 * ButtonWidth, 2 * ButtonHeight);
  if (Files.Hover2x.Given)
    CheckPicture(Files.Hover2x, 2 * ButtonWidth, 2 * ButtonHeight);
  std::vector<TIconImage> Icon;
  std::vector<std::uint8_t> TitleIcon;
  if (Files.Icon.Given) {
    Icon = ReadIcon(Files.Icon);
    TitleIcon = MakeIconFile({TitleImage(Files.Icon, Icon)});
  }
  if (Files.Skin.Given && Files.Skin.Data.empty())
    throw EFailure(Files.Skin.Name + " is empty");

  std::vector<TPoTexts> Texts;
  for (const TBrandFile& File : Files.Texts) {
    Texts.push_back(ReadPoTexts(File.Data, File.Name));
    for (std::size_t I = 0; I + 1 < Texts.size(); ++I)
      if (Texts[I].Language->Table == Texts.back().Language->Table)
        throw EFailure(File.Name + " is a second file for the table of language " + Texts.back().Language->Code);
  }

  TPeImage Image = CheckHost(std::move(Host), HostName);
  // Over the host's table for the language, or a table of its own; texts it
  // leaves out stay the host's, or English.
  for (const TPoTexts& Po : Texts) {
    TResource* Table = Image.Find(TextTableType, TextTableName, Po.Language->Table);
    if (!Table) {
      Image.Resources().push_back(TResource{TextTableType, TextTableName, Po.Language->Table, 0, {}});
      Table = &Image.Resources().back();
    }
    std::array<std::u16string, 16> Strings;
    if (!Table->Data.empty()) {
      try {
        Strings = ReadStringBlock(Table->Data);
      } catch (const EFailure& Failure) {
        throw EFailure(HostName + " has a damaged string table: " + Failure.what());
      }
    }
    for (unsigned Id = 0; Id < TextCount; ++Id)
      if (Po.Texts[Id])
        Strings[Id] = *Po.Texts[Id];
    Table->Data = StringBlock(Strings);
  }
  if (Files.Icon.Given && !Image.Find(IconGroupType, MainIconName))
    throw EFailure(HostName + " has no application icon MAINICON");
  TResource* Form = Image.Find(FormType, FormName);
  Form->Data = RewriteDescription(Form->Data, HostName, Files, TitleIcon, Hint);
  if (Files.Background.Given || Files.Button.Given || Files.Hover.Given || Files.Background2x.Given ||
      Files.Button2x.Given || Files.Hover2x.Given) {
    const TResource* Stored = Image.Find(FormType, DoubleSizeName);
    auto Doubled = RewriteDoubleSize(Stored, *Form, HostName, Files);
    const TResource FormCopy = *Form;
    // Changes the list of resources: `Form` and `Stored` point into it.
    std::erase_if(Image.Resources(),
                  [&](const TResource& R) { return R.Type.Matches(FormType) && R.Name.Matches(DoubleSizeName); });
    if (Doubled)
      Image.Resources().push_back({FormType, DoubleSizeName, FormCopy.Language, FormCopy.CodePage, *Doubled});
  }
  if (Files.Skin.Given)
    Image.Find(SkinType, SkinName)->Data = Files.Skin.Data;
  try {
    // Last: it changes the list of resources the pointers above point into.
    if (Files.Icon.Given)
      ReplaceIconGroup(Image, MainIconName, Icon);
    return Image.Write();
  } catch (const EPeError& Error) {
    throw EFailure(HostName + " cannot be rebuilt: " + Error.what());
  }
}

}  // namespace mkinstaller
