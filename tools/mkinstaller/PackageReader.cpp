#include "PackageReader.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <set>

#include "Classes.h"
#include "ComponentStream.h"
#include "FileFormats.h"
#include "Files.h"
#include "InstallPaths.h"
#include "JpegDecoder.h"
#include "Languages.h"
#include "LittleEndian.h"
#include "PackageLayout.h"
#include "PackageWriter.h"
#include "PeImage.h"
#include "SysUtils.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

constexpr std::size_t BlockSize = 64 * 1024;

// The package file as the installer's own layout code reads it.
class TPackageStream : public TStream {
 public:
  explicit TPackageStream(TInputFile& File) : FFile(File) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    if (Count <= 0)
      return 0;
    const std::size_t Got =
        FFile.ReadAt(static_cast<std::uint64_t>(FPosition), Buffer, static_cast<std::size_t>(Count));
    FPosition += static_cast<std::int64_t>(Got);
    return static_cast<std::int32_t>(Got);
  }
  std::int32_t Write(const void*, std::int32_t) override { return 0; }
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override {
    const std::int64_t Base = Origin == TSeekOrigin::soBeginning ? 0
                              : Origin == TSeekOrigin::soCurrent ? FPosition
                                                                 : Size();
    if (Offset < -Base)
      return -1;
    FPosition = Base + Offset;
    return FPosition;
  }
  std::int64_t Size() override {
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(FFile.ReportedSize(), std::numeric_limits<std::int64_t>::max()));
  }

 private:
  TInputFile& FFile;
  std::int64_t FPosition = 0;
};

std::string Bytes(std::uint64_t Count) { return std::to_string(Count) + (Count == 1 ? " byte" : " bytes"); }

// A package opened and checked: where its payload lies, and its host.
struct TPackage {
  std::unique_ptr<TInputFile> File;
  std::uint64_t PayloadOffset = 0, PayloadSize = 0;
  TPeImage Host;
};

TPackage OpenPackage(const std::string& Path) {
  TPackage P;
  P.File = std::make_unique<TInputFile>("package", Path);
  const std::string& Name = P.File->Name();
  const auto Damaged = [&](const std::string& Why) { return EFailure(Name + " is damaged: " + Why); };
  TPackageStream Stream(*P.File);
  const std::int64_t Size = Stream.Size();
  // Elsewhere the installer would take the table for the payload's end.
  if (const TCertificateTable Table = CertificateTable(Stream); Table.Size > 0 && Table.Offset + Table.Size != Size)
    throw Damaged("its certificate table (" + Bytes(static_cast<std::uint64_t>(Table.Size)) + " at offset " +
                  std::to_string(Table.Offset) + ") does not end the file of " +
                  Bytes(static_cast<std::uint64_t>(Size)));
  const std::int64_t End = PackageEnd(Stream);
  const std::string Where = End == Size ? "its last four bytes" : "the four bytes before its certificate table";
  constexpr auto TrailerSize = static_cast<std::int64_t>(PackageTrailer::Size);
  if (End < TrailerSize)
    throw Damaged("it is " + Bytes(static_cast<std::uint64_t>(End)) + " long, too short for the payload's length");
  std::uint8_t Trailer[PackageTrailer::Size];
  if (P.File->ReadAt(static_cast<std::uint64_t>(End - TrailerSize), Trailer, sizeof Trailer) != sizeof Trailer)
    throw Damaged("it is shorter than its file system says");
  const auto N = static_cast<std::int32_t>(Get32(TByteView(Trailer), 0, ""));
  // As the installer reads it (PayloadExtent), with what is wrong said.
  if (N <= 0)
    throw Damaged(Where + " give a payload length of " + std::to_string(N) + ", which no package has");
  if (N > End - TrailerSize)
    throw Damaged(Where + " give a payload of " + Bytes(static_cast<std::uint64_t>(N)) + ", which runs past the " +
                  std::to_string(End - TrailerSize) + " bytes before them");
  P.PayloadSize = static_cast<std::uint64_t>(N);
  P.PayloadOffset = static_cast<std::uint64_t>(End - TrailerSize - N);

  // The installer never reads its own front; a tool that reads the host's
  // resources needs all of it in front of the payload.
  if (P.PayloadOffset > MaxHostSize)
    throw Damaged("the " + std::to_string(P.PayloadOffset) + " bytes before its payload are more than any program");
  std::vector<std::uint8_t> Front(static_cast<std::size_t>(P.PayloadOffset));
  for (std::size_t Done = 0; Done < Front.size();) {
    const std::size_t Got = P.File->ReadAt(Done, Front.data() + Done, std::min(BlockSize, Front.size() - Done));
    if (Got == 0)
      throw Damaged("it is shorter than its file system says");
    Done += Got;
  }
  try {
    P.Host = TPeImage::Parse(std::move(Front));
  } catch (const EPeError& Error) {
    throw Damaged("the " + std::to_string(P.PayloadOffset) + " bytes before its payload of " + Bytes(P.PayloadSize) +
                  " are no whole program: " + Error.what());
  }
  if (const std::string Product = P.Host.VersionString("ProductName"); Product != "InstallerWin")
    throw EFailure(Name + " is not an InstallerWin package: its program names " +
                   (Product.empty() ? std::string("no product") : "the product '" + Product + "'"));
  return P;
}

const TResourceId FormType = TResourceId::Number(RtRcData);

std::string Dimensions(int Width, int Height) { return std::to_string(Width) + " x " + std::to_string(Height); }

// A picture property's value, the last where there are several, as the
// installer's reader leaves it.
std::string PictureLine(const TStreamObject* Owner, const std::string& Property) {
  const TStreamValue* Found = nullptr;
  if (Owner)
    for (const TStreamProperty& P : Owner->Properties)
      if (P.Name == Property)
        Found = &P.Value;
  const TBinaryValue* Value = Found ? Found->Get<TBinaryValue>() : nullptr;
  if (!Value)
    return "none";
  TPictureValue Picture;
  try {
    Picture = DecodePictureValue(Value->Bytes);
  } catch (const Exception&) {
    return "unreadable";
  }
  int Width = 0, Height = 0;
  const std::string Size =
      ReadJpegSize(Picture.Data.data(), Picture.Data.size(), Width, Height) ? Dimensions(Width, Height) : "not a JPEG";
  return Size + ", " + Bytes(Picture.Data.size());
}

const TStreamObject* FindControl(const TStreamObject& Parent, const std::string& Name) {
  for (const TStreamObject& Child : Parent.Children) {
    if (Child.Name == Name)
      return &Child;
    if (const TStreamObject* Found = FindControl(Child, Name))
      return Found;
  }
  return nullptr;
}

// Null when the host has no such description or it cannot be read.
std::unique_ptr<TStreamObject> Description(const TPeImage& Host, const char* Name) {
  const TResource* Stored = Host.Find(FormType, TResourceId::Named(Name));
  if (!Stored)
    return nullptr;
  try {
    TMemoryStream In(Stored->Data);
    return std::make_unique<TStreamObject>(ReadComponentStream(In));
  } catch (const Exception&) {
    return nullptr;
  }
}

std::string Utf8(const std::u16string& Units) {
  std::string Out;
  for (std::size_t I = 0; I < Units.size(); ++I) {
    char32_t C = Units[I];
    if (C >= 0xD800 && C < 0xDC00 && I + 1 < Units.size() && Units[I + 1] >= 0xDC00 && Units[I + 1] < 0xE000)
      C = 0x10000 + ((C - 0xD800) << 10) + (Units[++I] - 0xDC00);
    else if (C >= 0xD800 && C < 0xE000)
      C = '?';
    if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += {static_cast<char>(0xC0 | C >> 6), static_cast<char>(0x80 | (C & 0x3F))};
    } else if (C < 0x10000) {
      Out += {static_cast<char>(0xE0 | C >> 12), static_cast<char>(0x80 | (C >> 6 & 0x3F)),
              static_cast<char>(0x80 | (C & 0x3F))};
    } else {
      Out += {static_cast<char>(0xF0 | C >> 18), static_cast<char>(0x80 | (C >> 12 & 0x3F)),
              static_cast<char>(0x80 | (C >> 6 & 0x3F)), static_cast<char>(0x80 | (C & 0x3F))};
    }
  }
  return Out;
}

// The Install button's name: its hint, which the package maker stores as
// plain text when ASCII, else as UTF-16. Plain text in another code page
// cannot be told apart, and shows as '?'.
std::string ButtonName(const TStreamObject* Button) {
  const TStreamValue* Hint = Button ? Button->FindProperty("Hint") : nullptr;
  if (!Hint)
    return "none";
  if (const auto* Wide = Hint->Get<TWideStringValue>())
    return OneLine(Utf8(Wide->Units));
  if (const auto* Text = Hint->Get<TUtf8StringValue>())
    return OneLine(Text->Bytes);
  if (const auto* Plain = Hint->Get<std::string>())
    return Printable(std::u16string(Plain->begin(), Plain->end()));
  return "none";
}

// The languages of the host's texts, by their PO codes, the first code of
// each table in the map's order; none for a host without tables.
std::string TextLanguages(const TPeImage& Host) {
  std::string Codes;
  for (const TLanguage& Language : Languages) {
    if (FindLanguageOfTable(Language.Table) != &Language)
      continue;
    for (const TResource& Resource : Host.Resources())
      if (Resource.Type.Matches(TResourceId::Number(RtString)) && Resource.Name.Matches(TResourceId::Number(1)) &&
          Resource.Language == Language.Table) {
        Codes += (Codes.empty() ? "" : ", ") + std::string(Language.Code);
        break;
      }
  }
  return Codes.empty() ? "none" : Codes;
}

std::string IconSizes(const TPeImage& Host) {
  const TResource* Group = Host.Find(TResourceId::Number(RtGroupIcon), TResourceId::Named("MAINICON"));
  if (!Group)
    return "none";
  const TByteView G(Group->Data);
  std::set<std::pair<unsigned, unsigned>> Sizes;
  try {
    const unsigned Count = Get16(G, IconDirectory::Count, "");
    for (unsigned I = 0; I < Count; ++I) {
      const std::uint64_t Entry = IconDirectory::Size + GroupIconEntry::Size * I;
      const unsigned Width = Get16(G, Entry + GroupIconEntry::Width, "") & 0xFF;
      const unsigned Height = Get16(G, Entry + GroupIconEntry::Height, "") & 0xFF;
      Sizes.insert({Width ? Width : 256, Height ? Height : 256});  // 0 stands for 256
    }
  } catch (const EPeError&) {
    return "unreadable";
  }
  std::string Line;
  for (const auto& [Width, Height] : Sizes)
    Line += (Line.empty() ? "" : ", ") + Dimensions(static_cast<int>(Width), static_cast<int>(Height));
  return Line.empty() ? "none" : Line;
}

const TResource* Skin(const TPeImage& Host) {
  return Host.Find(TResourceId::Named("EXEFILE"), TResourceId::Named("SKINRES"));
}

bool NoLeadBytes(unsigned char) { return false; }

}  // namespace

std::string ScreensaverFileName(const std::string& PackageFileName) {
  // UTF-8 has no byte that a code page's lead byte would swallow.
  return ScreensaverPath("", PackageFileName, NoLeadBytes);
}

std::vector<std::pair<std::string, std::string>> InspectPackage(const std::string& Package) {
  const TPackage P = OpenPackage(Package);
  const TPeImage& Host = P.Host;
  const std::unique_ptr<TStreamObject> Form = Description(Host, "TINSTALLERFORM"),
                                       Doubles = Description(Host, "TINSTALLERFORM2X");
  const TStreamObject* Image = Form ? FindControl(*Form, "Image1") : nullptr;
  const TStreamObject* Button = Form ? FindControl(*Form, "MouseEffectImage1") : nullptr;
  const std::string Version = Host.VersionString("FileVersion");
  const TResource* SkinResource = Skin(Host);
  const TPeImage::TFileRange Table = Host.CertificateTable();
  return {
      {"host-product", Host.VersionString("ProductName")},
      {"host-version", Version.empty() ? "none" : Version},
      {"payload-size", std::to_string(P.PayloadSize)},
      {"installs-as", OneLine(ScreensaverFileName(FileName(Package)))},
      {"skin-size", SkinResource ? std::to_string(SkinResource->Data.size()) : "none"},
      {"background", PictureLine(Image, "Picture.Data")},
      {"background-2x", PictureLine(Doubles.get(), "Image1.Picture")},
      {"button", PictureLine(Button, "Picture.Data")},
      {"button-2x", PictureLine(Doubles.get(), "MouseEffectImage1.Picture")},
      {"hover", PictureLine(Button, "OverPicture.Data")},
      {"hover-2x", PictureLine(Doubles.get(), "MouseEffectImage1.OverPicture")},
      {"icon", IconSizes(Host)},
      {"button-name", ButtonName(Button)},
      {"languages", TextLanguages(Host)},
      {"certificate-table", Table.Size ? Bytes(Table.Size) + ", not verified" : "none"},
  };
}

std::vector<std::string> ExtractPackage(const std::string& Package, const std::string& Dir) {
  TPackage P = OpenPackage(Package);
  const std::string ScrPath = InFolder(Dir, ScreensaverFileName(FileName(Package)));
  const std::string SkinPath = InFolder(Dir, SkinFileName);
  const TResource* SkinResource = Skin(P.Host);
  // Refused before anything is written; the renames below catch a file
  // that appears meanwhile.
  if (PathTaken(ScrPath))
    throw EFailure(Named("screensaver", ScrPath) + " already exists; it is not replaced");
  if (SkinResource && PathTaken(SkinPath))
    throw EFailure(Named("skin", SkinPath) + " already exists; it is not replaced");

  {
    TOutputFile Scr(ScrPath, "screensaver");
    std::vector<std::uint8_t> Buffer(BlockSize);
    for (std::uint64_t Done = 0; Done < P.PayloadSize;) {
      const std::size_t Got =
          P.File->ReadAt(P.PayloadOffset + Done, Buffer.data(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(Buffer.size(), P.PayloadSize - Done)));
      if (Got == 0)
        throw EFailure(P.File->Name() + " is shorter than its file system says");
      Scr.Write(Buffer.data(), Got);
      Done += Got;
    }
    Scr.Commit(TPlacing::plKeepExisting);
  }
  if (!SkinResource)
    return {ScrPath};
  try {
    TOutputFile SkinFile(SkinPath, "skin", false);
    SkinFile.Write(SkinResource->Data.data(), SkinResource->Data.size());
    SkinFile.Commit(TPlacing::plKeepExisting);
  } catch (const EFailure&) {
    // Nothing half: the screensaver without its skin is taken back.
    RemoveFile(ScrPath);
    throw;
  }
  return {ScrPath, SkinPath};
}

}  // namespace mkinstaller
