#include "guard_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quenlex::test {

GuardBuffer::GuardBuffer(std::size_t size, char fill_byte) : size_(size) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t data_pages = (size + page - 1) / page;
    region_size_ = (data_pages + 2) * page;
    region_ = mmap(nullptr, region_size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region_ == MAP_FAILED) {
        std::perror("GuardBuffer: mmap");
        std::abort();
    }
    char *first_data_page = static_cast<char *>(region_) + page;
    if (data_pages != 0 &&
        mprotect(first_data_page, data_pages * page, PROT_READ | PROT_WRITE) != 0) {
        std::perror("GuardBuffer: mprotect");
        std::abort();
    }
    data_ = first_data_page + data_pages * page - size;
    fill(fill_byte);
}

GuardBuffer::~GuardBuffer() { munmap(region_, region_size_); }

void GuardBuffer::fill(char fill_byte) {
    if (size_ != 0) {
        std::memset(data_, fill_byte, size_);
    }
}

bool GuardBuffer::untouched_from(std::size_t from, char fill_byte) const {
    for (std::size_t i = from; i < size_; ++i) {
        if (data_[i] != fill_byte) {
            return false;
        }
    }
    return true;
}

std::string GuardBuffer::bytes(std::size_t from, std::size_t count) const {
    if (from >= size_) {
        return {};
    }
    if (count > size_ - from) {
        count = size_ - from;
    }
    return std::string(data_ + from, count);
}

}  // namespace quenlex::test
