// Byte streams: the base with its checked reads and writes, one in memory and one on a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace halvik {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to Count bytes into Buffer; returns how many were read (0 at the end).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Moves the position and returns the new one; a position before 0 raises EStreamError.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  virtual int64_t Size();

  // Reads exactly Count bytes or raises EReadError.
  void ReadBuffer(void* Buffer, int64_t Count);
  // Writes exactly Count bytes or raises EWriteError.
  void WriteBuffer(const void* Buffer, int64_t Count);
};

class TMemoryStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const std::vector<uint8_t>& Bytes() const { return data_; }
  void SetBytes(std::vector<uint8_t> Bytes) { data_ = std::move(Bytes); pos_ = 0; }
  void Clear() { data_.clear(); pos_ = 0; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

enum class TFileMode { fmOpenRead, fmCreate };

class TFileStream : public TStream {
 public:
  // Opens FileName for reading or creates it anew; raises EFOpenError or EFCreateError,
  // naming the file and the system's reason.
  TFileStream(const std::string& FileName, TFileMode Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  std::FILE* file_ = nullptr;
  std::string name_;
};

}  // namespace halvik
