#include "PackageWriter.h"

#include <cstdint>
#include <new>
#include <vector>

#include "Branding.h"
#include "Files.h"
#include "PeImage.h"

namespace mkinstaller {
namespace {

constexpr std::size_t BlockSize = 64 * 1024;

// Copies `from` to its end into `to`, or until more than `limit` bytes are
// copied; returns the number copied.
std::uint64_t CopyAll(TInputFile& from, TOutputFile& to, std::uint64_t limit, std::vector<char>& buffer) {
  std::uint64_t copied = 0;
  while (copied <= limit) {
    const std::size_t n = from.Read(buffer.data(), buffer.size());
    if (n == 0)
      break;
    to.Write(buffer.data(), n);
    copied += n;
  }
  return copied;
}

std::string SizeMismatch(const TInputFile& in, std::uint64_t reported) {
  return in.Name() + " is not as long as its file system says (" + std::to_string(reported) +
         " bytes); is it still being written?";
}

// Every input by name and identity, so the output can be shown to be none of them.
using TInputs = std::vector<std::pair<std::string, TFileId>>;

TBrandFile ReadBrandFile(const char* role, const std::string& path, TInputs& inputs) {
  TBrandFile file;
  if (path.empty())
    return file;
  TInputFile in(role, path);
  file.Given = true;
  file.Name = in.Name();
  file.Data = in.ReadAll(MaxBrandFileSize);
  inputs.emplace_back(in.Name(), in.Id());
  return file;
}

void Build(const std::string& host, const std::string& payload, const std::string& output, const TBranding& branding,
           std::uint64_t payloadLimit) {
  const std::string outName = Named("output", output);
  const std::string fileName = FileName(output);
  if (fileName.empty() || fileName == "." || fileName == "..")
    throw EFailure(outName + " does not name a file");
  CheckReplaceable("output", output);

  TInputFile hostIn("host", host), payloadIn("payload", payload);
  const std::uint64_t payloadSize = payloadIn.ReportedSize();
  if (payloadSize > payloadLimit)
    throw EFailure(CheckPayloadSize(payload, payloadSize, payloadLimit));
  std::vector<char> buffer(BlockSize);
  // procfs and the like report 0 for files that hold data.
  if (payloadSize == 0) {
    if (payloadIn.Read(buffer.data(), 1) != 0)
      throw EFailure(SizeMismatch(payloadIn, 0));
    throw EFailure(CheckPayloadSize(payload, 0, payloadLimit));
  }

  TInputs inputs{{hostIn.Name(), hostIn.Id()}, {payloadIn.Name(), payloadIn.Id()}};
  TBrandFiles files;
  files.Background = ReadBrandFile("background", branding.Background, inputs);
  files.Button = ReadBrandFile("button", branding.Button, inputs);
  files.Hover = ReadBrandFile("hover", branding.Hover, inputs);
  files.Icon = ReadBrandFile("icon", branding.Icon, inputs);
  files.Skin = ReadBrandFile("skin", branding.Skin, inputs);
  files.Background2x = ReadBrandFile("background-2x", branding.Background2x, inputs);
  files.Button2x = ReadBrandFile("button-2x", branding.Button2x, inputs);
  files.Hover2x = ReadBrandFile("hover-2x", branding.Hover2x, inputs);
  files.ButtonLabel = branding.ButtonLabel;
  // Renaming over an input would destroy it. File identity catches links and any
  // spelling of an existing output; an output that does not exist is no input.
  if (TFileId outId; ExistingFileId(output, outId)) {
    for (const auto& [name, id] : inputs)
      if (id == outId)
        throw EFailure(outName + " is the same file as the " + name);
  }
  // Every host is checked, branded or not: swapped arguments or an empty
  // file would otherwise make a package that cannot run.
  if (hostIn.ReportedSize() > MaxHostSize)
    throw EFailure(hostIn.Name() + " is too large (more than " + std::to_string(MaxHostSize) + " bytes)");
  std::vector<std::uint8_t> hostData = hostIn.ReadAll(MaxHostSize);
  if (files.Any())
    hostData = BrandHost(std::move(hostData), hostIn.Name(), files);
  else
    CheckHost(hostData, hostIn.Name());

  TOutputFile out(output);
  const std::uint64_t hostSize = hostData.size();
  out.Write(hostData.data(), hostData.size());
  const std::size_t padding = PaddingBeforePayload(hostSize, payloadSize);
  out.Write(std::string(padding, '\0').data(), padding);
  // The trailer and the padding were reckoned from the reported size: the
  // bytes written must be exactly that many.
  if (CopyAll(payloadIn, out, payloadSize, buffer) != payloadSize)
    throw EFailure(SizeMismatch(payloadIn, payloadSize));
  const auto n = static_cast<std::uint32_t>(payloadSize);
  const char trailer[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                           static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
  out.Write(trailer, sizeof trailer);
  out.Commit();
}

}  // namespace

std::size_t PaddingBeforePayload(std::uint64_t hostSize, std::uint64_t payloadSize) {
  return static_cast<std::size_t>((8 - (hostSize + payloadSize + 4) % 8) % 8);
}

std::string CheckPayloadSize(const std::string& payload, std::uint64_t size, std::uint64_t limit) {
  if (size == 0)
    return Named("payload", payload) + " is empty";
  if (size > limit)
    return Named("payload", payload) + " is too large (" + std::to_string(size) + " bytes; at most " +
           std::to_string(limit) + ", as the installer reads the length as a signed 32-bit integer)";
  return {};
}

std::string MakePackage(const std::string& host, const std::string& payload, const std::string& output,
                        const TBranding& branding, std::uint64_t payloadLimit) {
  try {
    Build(host, payload, output, branding, payloadLimit);
    return {};
  } catch (const EFailure& failure) {
    return OneLine(failure.what());
  } catch (const std::bad_alloc&) {
    return "not enough memory";
  }
}

}  // namespace mkinstaller
