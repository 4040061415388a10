#pragma once

// The log writer hnasctl installs while it runs: it keeps what the failure
// report needs and shows the chosen levels on stderr, escaped for a terminal.

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "Secret.h"
#include "hnasmgmt/host/DbgTrace.h"

namespace hnasctl {

// Takes the library's log lines: keeps the lines of level 0 and below of the
// current operation, passes lines up to the chosen level on to stderr, and
// replaces the password by "********" wherever it would appear.
class CliLogWriter : public CLogWriterInterface {
public:
    // verbosity 0: nothing is shown; 1, 2, 3: levels 0, 4, 5 and below.
    CliLogWriter(int verbosity, const std::string& password);
    ~CliLogWriter() override;

    int GetLevel() const override;
    void Write(int level, const char* function, int line, long long jobId, int flags,
               const char* format, ...) override;

    // Forgets the lines seen so far.
    void reset();
    // True when a line of level 0 or below with exactly this text was
    // written since reset().
    bool logged(const std::string& text) const;
    // The last error line since reset(); empty when there was none.
    std::string lastError() const { return lastError_; }
    size_t errorCount() const { return errorCount_; }
    // The gateway's own explanation of its last refusal since reset(), as the
    // REST session logs it; empty when there was none.
    std::string explanation() const { return explanation_; }
    // Why the last request without an answer since reset() got none, as the
    // REST session logs it; empty when there was none.
    std::string noAnswerReason() const { return noAnswerReason_; }
    // The HTTP status of the last refused or failed request since reset(), as
    // the REST session reports it; -1 when none was reported.
    long lastHttpStatus() const { return lastHttpStatus_; }

private:
    std::string redact(std::string text) const;
    void keep(int level, const char* function, const std::string& text);

    int level_; // lines up to this level go to stderr
    Secret password_;
    std::vector<std::string> lines_; // texts of level 0 and below since reset()
    boost::shared_ptr<CLogWriterInterface> stream_;
    std::string lastError_;
    std::string explanation_;
    std::string noAnswerReason_;
    size_t errorCount_ = 0;
    long lastHttpStatus_ = -1;
};

} // namespace hnasctl
