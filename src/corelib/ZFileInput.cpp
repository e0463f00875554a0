#include "ZFileInput.h"

#include <cerrno>

#include "ZFile.h"

#include <unistd.h>

namespace ZCoreLib {

ZFileInput::ZFileInput(const std::string& path) : std::istream(nullptr)
{
    buf_.fd = ZFile::openForReading(path, error_);
    rdbuf(&buf_);
    if (buf_.fd < 0)
        setstate(std::ios_base::failbit);
}

ZFileInput::~ZFileInput() { close(); }

void ZFileInput::close()
{
    if (buf_.fd >= 0)
        ::close(buf_.fd);
    buf_.fd = -1;
}

ZFileInput::descriptorBuf::int_type ZFileInput::descriptorBuf::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (fd < 0)
        return traits_type::eof();
    blockStart_ += egptr() - eback();
    ssize_t got;
    do
        got = ::read(fd, block_.data(), block_.size());
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        setg(block_.data(), block_.data(), block_.data());
        return traits_type::eof();
    }
    setg(block_.data(), block_.data(), block_.data() + got);
    return traits_type::to_int_type(*gptr());
}

ZFileInput::descriptorBuf::pos_type
ZFileInput::descriptorBuf::seekoff(off_type off, std::ios_base::seekdir dir,
                                   std::ios_base::openmode which)
{
    if (fd < 0 || !(which & std::ios_base::in))
        return pos_type(off_type(-1));
    long long target = off;
    if (dir == std::ios_base::cur)
        target += blockStart_ + (gptr() - eback());
    const off_t at = dir == std::ios_base::end ? ::lseek(fd, static_cast<off_t>(off), SEEK_END)
                                               : ::lseek(fd, static_cast<off_t>(target), SEEK_SET);
    if (at < 0)
        return pos_type(off_type(-1));
    blockStart_ = at;
    setg(block_.data(), block_.data(), block_.data());
    return pos_type(static_cast<off_type>(at));
}

ZFileInput::descriptorBuf::pos_type
ZFileInput::descriptorBuf::seekpos(pos_type pos, std::ios_base::openmode which)
{
    return seekoff(off_type(pos), std::ios_base::beg, which);
}

} // namespace ZCoreLib
