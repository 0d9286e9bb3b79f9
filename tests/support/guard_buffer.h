// Caller memory whose last byte abuts an inaccessible page, so a write even one byte past
// the end faults at once (with or without a sanitizer). The page before the buffer's own
// page(s) is inaccessible too.
#ifndef QUENLEX_TEST_GUARD_BUFFER_H
#define QUENLEX_TEST_GUARD_BUFFER_H

#include <cstddef>
#include <string>

namespace quenlex::test {

class GuardBuffer {
  public:
    // `size` may be 0: data() then points at the guard page itself.
    explicit GuardBuffer(std::size_t size, char fill = '\x5a');
    ~GuardBuffer();
    GuardBuffer(const GuardBuffer &) = delete;
    GuardBuffer &operator=(const GuardBuffer &) = delete;

    char *data() { return data_; }
    std::size_t size() const { return size_; }
    // Sets every byte to `fill`.
    void fill(char fill);
    // True when every byte from `from` on still holds `fill`.
    bool untouched_from(std::size_t from, char fill) const;
    std::string bytes(std::size_t from, std::size_t count) const;

  private:
    void *region_ = nullptr;
    std::size_t region_size_ = 0;
    char *data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace quenlex::test

#endif
