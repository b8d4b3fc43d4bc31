// Streams: the abstract TStream with its checked helpers, and a memory stream.
// File streams over Win32 handles are in FileStream.h.
#pragma once

#include <cstdint>
#include <vector>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  // Largest block CopyFrom moves at once; the copy never holds more.
  static constexpr std::int32_t MaxBufSize = 0xF000;

  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Reads up to Count bytes; returns how many came (0 at the end or on failure).
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;
  // Moves the position and returns the new one; a move before the first byte
  // is refused, leaving the position where it was, and returns -1.
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;
  virtual std::int64_t Size();

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }

  // Read or write exactly Count bytes, or raise "Stream read error" / "Stream write error".
  void ReadBuffer(void* Buffer, std::int32_t Count);
  void WriteBuffer(const void* Buffer, std::int32_t Count);

  // Copies Count bytes from Source's position; a Count of 0 copies the whole
  // of Source from its start. Returns the number of bytes copied.
  std::int64_t CopyFrom(TStream& Source, std::int64_t Count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<std::uint8_t> Data) : FData(std::move(Data)) {}

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }

  const std::vector<std::uint8_t>& Data() const { return FData; }

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};
