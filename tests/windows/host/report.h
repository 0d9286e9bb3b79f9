// Results of the test host, one line each on stdout, for the runner to collect.
#ifndef QUENLEX_TEST_HOST_REPORT_H
#define QUENLEX_TEST_HOST_REPORT_H

#include <string>

class Report {
  public:
    // Records one check of the case `name`; `detail` says what was seen when it fails.
    bool check(const std::string &name, bool ok, const std::string &detail = std::string());
    void note(const std::string &text);
    int failures() const { return failures_; }

  private:
    int failures_ = 0;
};

// printf-style formatting into a std::string, for details.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
