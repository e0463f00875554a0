#ifndef ZCORELIB_ZFILEINPUT_H
#define ZCORELIB_ZFILEINPUT_H

// Binary input from a regular file opened through ZFile::openForReading: a
// pipe, a device or a socket is refused, never waited on, and every read
// goes to the file that was checked, never to the name again. Seekable.

#include <istream>
#include <streambuf>
#include <string>
#include <vector>

namespace ZCoreLib {

class ZFileInput : public std::istream {
public:
    explicit ZFileInput(const std::string& path);
    ~ZFileInput() override;
    ZFileInput(const ZFileInput&) = delete;
    ZFileInput& operator=(const ZFileInput&) = delete;

    bool is_open() const { return buf_.fd >= 0; }
    // Why it is not open: openForReading's error (EISDIR, ZFile::notRegular
    // or errno); 0 when it opened.
    int error() const { return error_; }
    void close();

private:
    int error_ = 0;
    class descriptorBuf : public std::streambuf {
    public:
        int fd = -1;

    protected:
        int_type underflow() override;
        pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                         std::ios_base::openmode which) override;
        pos_type seekpos(pos_type pos, std::ios_base::openmode which) override;

    private:
        std::vector<char> block_ = std::vector<char>(1 << 16);
        long long blockStart_ = 0; // file offset of block_[0]
    };

    descriptorBuf buf_;
};

} // namespace ZCoreLib

#endif
