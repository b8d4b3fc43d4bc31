#include "PackageWriter.h"

#include <cstdint>
#include <new>
#include <vector>

#include "Branding.h"
#include "FileFormats.h"
#include "Files.h"
#include "Internal.h"
#include "PeImage.h"

namespace mkinstaller {
using namespace FileFormats;
namespace {

// Copies `From` to its end into `To`, or until more than `Limit` bytes are
// copied; returns the number copied.
std::uint64_t CopyAll(TInputFile& From, TOutputFile& To, std::uint64_t Limit, std::vector<char>& Buffer) {
  std::uint64_t Copied = 0;
  while (Copied <= Limit) {
    const std::size_t N = From.Read(Buffer.data(), Buffer.size());
    if (N == 0)
      break;
    To.Write(Buffer.data(), N);
    Copied += N;
  }
  return Copied;
}

std::string SizeMismatch(const TInputFile& In, std::uint64_t Reported) {
  return In.Name() + " is not as long as its file system says (" + std::to_string(Reported) +
         " bytes); is it still being written?";
}

// Every input by name and identity, so the output can be shown to be none of them.
using TInputs = std::vector<std::pair<std::string, TFileId>>;

TBrandFile ReadBrandFile(const char* Role, const std::string& Path, TInputs& Inputs) {
  TBrandFile File;
  if (Path.empty())
    return File;
  TInputFile In(Role, Path);
  File.Given = true;
  File.Name = In.Name();
  File.Data = In.ReadAll(MaxBrandFileSize);
  Inputs.emplace_back(In.Name(), In.Id());
  return File;
}

void Build(const std::string& Host, const std::string& Payload, const std::string& Output, const TBranding& Branding,
           std::uint64_t PayloadLimit) {
  const std::string OutName = Named("output", Output);
  const std::string OutputFileName = FileName(Output);
  if (OutputFileName.empty() || OutputFileName == "." || OutputFileName == "..")
    throw EFailure(OutName + " does not name a file");
  CheckReplaceable("output", Output);

  TInputFile HostIn("host", Host), PayloadIn("payload", Payload);
  const std::uint64_t PayloadSize = PayloadIn.ReportedSize();
  if (PayloadSize > PayloadLimit)
    throw EFailure(CheckPayloadSize(Payload, PayloadSize, PayloadLimit));
  std::vector<char> Buffer(BlockSize);
  // procfs and the like report 0 for files that hold data.
  if (PayloadSize == 0) {
    if (PayloadIn.Read(Buffer.data(), 1) != 0)
      throw EFailure(SizeMismatch(PayloadIn, 0));
    throw EFailure(CheckPayloadSize(Payload, 0, PayloadLimit));
  }

  TInputs Inputs{{HostIn.Name(), HostIn.Id()}, {PayloadIn.Name(), PayloadIn.Id()}};
  TBrandFiles Files;
  Files.Background = ReadBrandFile("background", Branding.Background, Inputs);
  Files.Button = ReadBrandFile("button", Branding.Button, Inputs);
  Files.Hover = ReadBrandFile("hover", Branding.Hover, Inputs);
  Files.Icon = ReadBrandFile("icon", Branding.Icon, Inputs);
  Files.Skin = ReadBrandFile("skin", Branding.Skin, Inputs);
  Files.Background2x = ReadBrandFile("background-2x", Branding.Background2x, Inputs);
  Files.Button2x = ReadBrandFile("button-2x", Branding.Button2x, Inputs);
  Files.Hover2x = ReadBrandFile("hover-2x", Branding.Hover2x, Inputs);
  Files.ButtonLabel = Branding.ButtonLabel;
  for (const std::string& Texts : Branding.Texts)
    Files.Texts.push_back(ReadBrandFile("texts", Texts, Inputs));
  // Renaming over an input would destroy it. File identity catches links and any
  // spelling of an existing output; an output that does not exist is no input.
  if (TFileId OutId; ExistingFileId(Output, OutId)) {
    for (const auto& [Name, Id] : Inputs)
      if (Id == OutId)
        throw EFailure(OutName + " is the same file as the " + Name);
  }
  // Every host is checked, branded or not: swapped arguments or an empty
  // file would otherwise make a package that cannot run.
  if (HostIn.ReportedSize() > MaxHostSize)
    throw EFailure(HostIn.Name() + " is too large (more than " + std::to_string(MaxHostSize) + " bytes)");
  std::vector<std::uint8_t> HostData = HostIn.ReadAll(MaxHostSize);
  if (Files.Any())
    HostData = BrandHost(std::move(HostData), HostIn.Name(), Files);
  else
    CheckHost(HostData, HostIn.Name());

  TOutputFile Out(Output);
  const std::uint64_t HostSize = HostData.size();
  Out.Write(HostData.data(), HostData.size());
  const auto Padding = static_cast<std::size_t>(PackageTrailer::PaddingBefore(HostSize, PayloadSize));
  Out.Write(std::string(Padding, '\0').data(), Padding);
  // The trailer and the padding were reckoned from the reported size: the
  // bytes written must be exactly that many.
  if (CopyAll(PayloadIn, Out, PayloadSize, Buffer) != PayloadSize)
    throw EFailure(SizeMismatch(PayloadIn, PayloadSize));
  char Trailer[PackageTrailer::Size];
  for (std::uint64_t I = 0; I < PackageTrailer::Size; ++I)
    Trailer[I] = static_cast<char>(PayloadSize >> 8 * I & 0xFF);
  Out.Write(Trailer, sizeof Trailer);
  Out.Commit();
}

}  // namespace

std::string CheckPayloadSize(const std::string& Payload, std::uint64_t Size, std::uint64_t Limit) {
  if (Size == 0)
    return Named("payload", Payload) + " is empty";
  if (Size > Limit)
    return Named("payload", Payload) + " is too large (" + std::to_string(Size) + " bytes; at most " +
           std::to_string(Limit) + ", as the installer reads the length as a signed 32-bit integer)";
  return {};
}

std::string MakePackage(const std::string& Host, const std::string& Payload, const std::string& Output,
                        const TBranding& Branding, std::uint64_t PayloadLimit) {
  try {
    Build(Host, Payload, Output, Branding, PayloadLimit);
    return {};
  } catch (const EFailure& Failure) {
    return OneLine(Failure.what());
  } catch (const std::bad_alloc&) {
    return "not enough memory";
  }
}

}  // namespace mkinstaller
