#include "PackageReader.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <set>

#include "Classes.h"
#include "ComponentStream.h"
#include "FileFormats.h"
#include "Files.h"
#include "IconFile.h"
#include "InstallPaths.h"
#include "Internal.h"
#include "JpegDecoder.h"
#include "Languages.h"
#include "LittleEndian.h"
#include "PackageLayout.h"
#include "PackageWriter.h"
#include "PeImage.h"
#include "PoTexts.h"
#include "SysUtils.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

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

// A package opened and checked: where its payload lies, its host, and the
// certificate table that ends it (a size of 0 when it has none).
struct TPackage {
  std::unique_ptr<TInputFile> File;
  std::uint64_t PayloadOffset = 0, PayloadSize = 0;
  TPeImage Host;
  TCertificateTable Table;
};

TPackage OpenPackage(const std::string& Path) {
  TPackage P;
  P.File = std::make_unique<TInputFile>("package", Path);
  const std::string& Name = P.File->Name();
  const auto Damaged = [&](const std::string& Why) { return EFailure(Name + " is damaged: " + Why); };
  TPackageStream Stream(*P.File);
  const std::int64_t Size = Stream.Size();
  P.Table = CertificateTable(Stream);
  // Elsewhere the installer would take the table for the payload's end.
  if (P.Table.Size > 0 && P.Table.Offset + P.Table.Size != Size)
    throw Damaged("its certificate table (" + Bytes(static_cast<std::uint64_t>(P.Table.Size)) + " at offset " +
                  std::to_string(P.Table.Offset) + ") does not end the file of " +
                  Bytes(static_cast<std::uint64_t>(Size)));
  // Where the installer's PackageEnd puts it.
  const std::int64_t End = Size - P.Table.Size;
  const std::string Where = End == Size ? "its last four bytes" : "the four bytes before its certificate table";
  constexpr auto TrailerSize = static_cast<std::int64_t>(PackageTrailer::Size);
  if (End < TrailerSize)
    throw Damaged("it is " + Bytes(static_cast<std::uint64_t>(End)) + " long, too short for the payload's length");
  std::uint8_t Trailer[PackageTrailer::Size];
  if (P.File->ReadAt(static_cast<std::uint64_t>(End - TrailerSize), Trailer, sizeof Trailer) != sizeof Trailer)
    throw Damaged("it is shorter than its file system says");
  const auto N = static_cast<std::int32_t>(Get32(TByteView(Trailer), 0, ""));
  try {
    const TPayloadExtent Payload = PayloadExtent(End, N);
    P.PayloadSize = static_cast<std::uint64_t>(Payload.Length);
    P.PayloadOffset = static_cast<std::uint64_t>(Payload.Offset);
  } catch (const EReadError&) {
    // The installer's refusal, with what is wrong said.
    if (N <= 0)
      throw Damaged(Where + " give a payload length of " + std::to_string(N) + ", which no package has");
    throw Damaged(Where + " give a payload of " + Bytes(static_cast<std::uint64_t>(N)) + ", which runs past the " +
                  std::to_string(End - TrailerSize) + " bytes before them");
  }

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
  if (const std::string Product = P.Host.VersionString("ProductName"); Product != HostProduct)
    throw EFailure(Name + " is not an InstallerWin package: its program names " +
                   (Product.empty() ? std::string("no product") : "the product '" + Product + "'"));
  return P;
}

std::string PictureLine(const TStreamObject* Owner, const std::string& Property) {
  const TStreamProperty* Found = LastProperty(Owner, Property);
  const TBinaryValue* Value = Found ? Found->Value.Get<TBinaryValue>() : nullptr;
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

// Null when the host has no such description or it cannot be read.
std::unique_ptr<TStreamObject> Description(const TPeImage& Host, const TResourceId& Name) {
  const TResource* Stored = Host.Find(FormType, Name);
  if (!Stored)
    return nullptr;
  try {
    TMemoryStream In(Stored->Data);
    return std::make_unique<TStreamObject>(ReadComponentStream(In));
  } catch (const Exception&) {
    return nullptr;
  }
}

// The Install button's name: its hint, which the package maker stores as
// plain text when ASCII, else as UTF-16. Plain text in another code page
// cannot be told apart, and shows as '?'.
std::string ButtonName(const TStreamObject* Button) {
  const TStreamProperty* Hint = LastProperty(Button, "Hint");
  if (!Hint)
    return "none";
  if (const auto* Wide = Hint->Value.Get<TWideStringValue>())
    return OneLine(Utf8(Wide->Units));
  if (const auto* Text = Hint->Value.Get<TUtf8StringValue>())
    return OneLine(Text->Bytes);
  if (const auto* Plain = Hint->Value.Get<std::string>())
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
    if (Host.Find(TextTableType, TextTableName, Language.Table))
      Codes += (Codes.empty() ? "" : ", ") + std::string(Language.Code);
  }
  return Codes.empty() ? "none" : Codes;
}

std::string IconSizes(const TPeImage& Host) {
  const TResource* Group = Host.Find(IconGroupType, MainIconName);
  if (!Group)
    return "none";
  const auto Entries = GroupEntries(*Group);
  if (!Entries)
    return "unreadable";
  std::set<std::pair<unsigned, unsigned>> Sizes;
  for (const TGroupEntry& Entry : *Entries)
    Sizes.insert({Entry.Width ? Entry.Width : 256u, Entry.Height ? Entry.Height : 256u});
  std::string Line;
  for (const auto& [Width, Height] : Sizes)
    Line += (Line.empty() ? "" : ", ") + Dimensions(static_cast<int>(Width), static_cast<int>(Height));
  return Line.empty() ? "none" : Line;
}

const TResource* Skin(const TPeImage& Host) { return Host.Find(SkinType, SkinName); }

bool NoLeadBytes(unsigned char) { return false; }

}  // namespace

std::string ScreensaverFileName(const std::string& PackageFileName) {
  // UTF-8 has no byte that a code page's lead byte would swallow.
  return ScreensaverPath("", PackageFileName, NoLeadBytes);
}

std::vector<std::pair<std::string, std::string>> InspectPackage(const std::string& Package) {
  const TPackage P = OpenPackage(Package);
  const TPeImage& Host = P.Host;
  const std::unique_ptr<TStreamObject> Form = Description(Host, FormName), Doubles = Description(Host, DoubleSizeName);
  const TStreamObject* Image = Form ? FindControl(*Form, "Image1") : nullptr;
  const TStreamObject* Button = Form ? FindControl(*Form, "MouseEffectImage1") : nullptr;
  const std::string Version = Host.VersionString("FileVersion");
  const TResource* SkinResource = Skin(Host);
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
      {"certificate-table", P.Table.Size ? Bytes(static_cast<std::uint64_t>(P.Table.Size)) + ", not verified" : "none"},
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
