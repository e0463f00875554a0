#ifndef HESTOR_HSRAGGED_H
#define HESTOR_HSRAGGED_H

// A ragged table of rows of different lengths kept in one contiguous block,
// with a row index on top so that rows read as table[row][j]. Large models
// have tens of millions of cells: one allocation per table, not per row.

#include <cstddef>
#include <memory>
#include <utility>

namespace hestor {

template <typename T>
class hsRagged {
public:
    hsRagged() = default;
    hsRagged(const hsRagged&) = delete;
    hsRagged& operator=(const hsRagged&) = delete;
    hsRagged(hsRagged&& other) noexcept { swap(other); }
    hsRagged& operator=(hsRagged&& other) noexcept
    {
        hsRagged tmp(std::move(other));
        swap(tmp);
        return *this;
    }

    // Allocates nRows rows, row i holding rowLength(i) values, all zero.
    // rowLength is called twice per row and must give the same answer.
    template <typename LengthFn>
    void build(int nRows, LengthFn rowLength)
    {
        release();
        const std::size_t n = nRows > 0 ? static_cast<std::size_t>(nRows) : 0;
        std::size_t total = 0;
        for (std::size_t i = 0; i < n; ++i)
            total += static_cast<std::size_t>(rowLength(static_cast<int>(i)));
        std::unique_ptr<T[]> data(new T[total]());
        std::unique_ptr<T*[]> index(new T*[n + 1]);
        T* p = data.get();
        for (std::size_t i = 0; i < n; ++i) {
            index[i] = p;
            p += rowLength(static_cast<int>(i));
        }
        index[n] = p;
        data_ = std::move(data);
        index_ = std::move(index);
        rows_ = n;
        size_ = total;
    }

    void release() noexcept
    {
        index_.reset();
        data_.reset();
        rows_ = 0;
        size_ = 0;
    }

    void swap(hsRagged& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(index_, other.index_);
        std::swap(rows_, other.rows_);
        std::swap(size_, other.size_);
    }

    T* operator[](std::size_t row) const { return index_[row]; }
    explicit operator bool() const { return static_cast<bool>(index_); }

    std::size_t rows() const { return rows_; }
    std::size_t rowLength(std::size_t row) const
    {
        return static_cast<std::size_t>(index_[row + 1] - index_[row]);
    }
    // All values of all rows, row after row.
    std::size_t size() const { return size_; }
    T* data() const { return data_.get(); }

private:
    std::unique_ptr<T[]> data_;
    std::unique_ptr<T*[]> index_;
    std::size_t rows_ = 0;
    std::size_t size_ = 0;
};

template <typename T>
void swap(hsRagged<T>& a, hsRagged<T>& b) noexcept
{
    a.swap(b);
}

} // namespace hestor

#endif
