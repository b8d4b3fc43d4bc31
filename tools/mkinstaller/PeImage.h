// Reading and rewriting the resources of a 64-bit Windows program image
// (PE32+), portable code so the package maker runs on Linux and on Windows.
// Made for the layout our linker produces: the resource directory starts its
// own section, and any sections after it (here .reloc) are discardable data
// that nothing but the base-relocation directory points into; they move, byte
// for byte, when the resource section grows or shrinks.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace mkinstaller {

// A malformed or unsupported image (or icon file); what() is one line saying
// what is wrong, without the file's name, starting in lower case.
class EPeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `Text` for a one-line message: printable ASCII as it is, any other
// character (a surrogate pair counts as one) as '?'.
std::string Printable(std::u16string_view Text);

// A resource type or name: a number, or a string (the linker stores strings
// in upper case, and the loader upper-cases the names it is asked for;
// Matches compares without regard to ASCII case).
struct TResourceId {
  std::uint16_t Id = 0;
  std::u16string Name;  // non-empty for a string identifier
  static TResourceId Number(std::uint16_t Value);
  // Upper-cased, as the linker stores it; EPeError for an empty or non-ASCII name.
  static TResourceId Named(const std::string& Ascii);
  bool IsName() const { return !Name.empty(); }
  bool Matches(const TResourceId& Other) const;
};

inline constexpr std::uint16_t RtIcon = 3;
inline constexpr std::uint16_t RtString = 6;
inline constexpr std::uint16_t RtRcData = 10;
inline constexpr std::uint16_t RtGroupIcon = 14;
inline constexpr std::uint16_t RtVersion = 16;
inline constexpr std::uint16_t RtManifest = 24;

struct TResource {
  TResourceId Type;
  TResourceId Name;
  std::uint16_t Language = 0;
  std::uint32_t CodePage = 0;
  std::vector<std::uint8_t> Data;
};

struct TPeLayout;  // the headers of an image, as Parse reads and checks them

class TPeImage {
 public:
  // Parses a whole file. Throws EPeError for anything that is not a sound
  // PE32+ image with a resource tree this code can rebuild: three levels
  // (type, name, language), data inside the resource section, no loops,
  // shared directories or overlapping data. An overlay is no error here.
  static TPeImage Parse(std::vector<std::uint8_t> File);

  // Every resource leaf, in the order of the stored tree. May be edited
  // freely; Write sorts it and refuses two leaves with the same type, name
  // and language.
  const std::vector<TResource>& Resources() const { return FResources; }
  std::vector<TResource>& Resources() { return FResources; }
  // The first leaf with this type and name (any language), or null. The
  // pointer lasts until Resources() changes size.
  TResource* Find(const TResourceId& Type, const TResourceId& Name);
  const TResource* Find(const TResourceId& Type, const TResourceId& Name) const;
  // The same in that language only.
  TResource* Find(const TResourceId& Type, const TResourceId& Name, std::uint16_t Language);
  const TResource* Find(const TResourceId& Type, const TResourceId& Name, std::uint16_t Language) const;

  // Bytes of the file past the end of its last section's raw data
  // (an appended payload, a certificate table, ...); zeros that only pad an
  // unaligned last section to the file alignment do not count.
  std::uint64_t OverlaySize() const;
  // The security directory names a certificate table (the image is signed).
  bool HasCertificateTable() const;
  // A value of the version resource's string table ("ProductName", ...),
  // as Printable shows it; empty when absent or when the version resource
  // is damaged.
  std::string VersionString(const std::string& Key) const;

  // The image with its resource section rebuilt from Resources(): the tree
  // sorted as the loader expects, sections after .rsrc moved, section
  // sizes, image size, data directories and the header checksum made
  // consistent. Everything else keeps its bytes. Refuses (EPeError) an image
  // with an overlay or a certificate table.
  std::vector<std::uint8_t> Write() const;

 private:
  std::vector<std::uint8_t> FFile;
  std::shared_ptr<const TPeLayout> FLayout;  // FFile's, read once: FFile never changes
  std::vector<TResource> FResources;
};

// The header checksum of an image, as the Windows loader and signing tools
// compute it (the checksum field itself counted as zero).
std::uint32_t PeChecksum(const std::vector<std::uint8_t>& File, std::uint32_t ChecksumOffset);

}  // namespace mkinstaller
