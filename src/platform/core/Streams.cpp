#include "platform/core/Streams.h"

#include <cerrno>
#include <cstring>

#include "platform/core/Exceptions.h"

namespace halvik {

int64_t TStream::Size() {
  const int64_t here = Position();
  const int64_t end = Seek(0, TSeekOrigin::soEnd);
  SetPosition(here);
  return end;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0) throw EReadError("Stream read error: negative count");
  if (Count > 0 && Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0) throw EWriteError("Stream write error: negative count");
  if (Count > 0 && Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  const int64_t size = Size();
  if (Count <= 0 || pos_ >= size) return 0;
  const int64_t n = Count < size - pos_ ? Count : size - pos_;
  std::memcpy(Buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = pos_ + Count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + pos_, Buffer, static_cast<size_t>(Count));
  pos_ = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  if (Origin == TSeekOrigin::soCurrent) base = pos_;
  if (Origin == TSeekOrigin::soEnd) base = Size();
  if ((Offset < 0 && base + Offset < 0) || (Offset > 0 && base > INT64_MAX - Offset))
    throw EStreamError("Stream seek error: position out of range");
  pos_ = base + Offset;
  return pos_;
}

TFileStream::TFileStream(const std::string& FileName, TFileMode Mode) : name_(FileName) {
  file_ = std::fopen(FileName.c_str(), Mode == TFileMode::fmCreate ? "w+b" : "rb");
  if (file_ == nullptr) {
    const std::string why = std::strerror(errno);
    if (Mode == TFileMode::fmCreate) throw EFCreateError("Cannot create file \"" + FileName + "\": " + why);
    throw EFOpenError("Cannot open file \"" + FileName + "\": " + why);
  }
}

TFileStream::~TFileStream() {
  if (file_) std::fclose(file_);
}

int64_t TFileStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const size_t n = std::fread(Buffer, 1, static_cast<size_t>(Count), file_);
  if (n < static_cast<size_t>(Count) && std::ferror(file_))
    throw EReadError("Cannot read file \"" + name_ + "\"");
  return static_cast<int64_t>(n);
}

int64_t TFileStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  return static_cast<int64_t>(std::fwrite(Buffer, 1, static_cast<size_t>(Count), file_));
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : Origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
#ifdef _WIN32
  if (_fseeki64(file_, Offset, whence) != 0) throw EStreamError("Seek failed in file \"" + name_ + "\"");
  return _ftelli64(file_);
#else
  if (fseeko(file_, Offset, whence) != 0) throw EStreamError("Seek failed in file \"" + name_ + "\"");
  return ftello(file_);
#endif
}

}  // namespace halvik
