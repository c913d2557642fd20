#include "cli/library_logging.h"

#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "common/file.h"

namespace orv::cli {
namespace {

bool verboseRun = false;
std::string* heard = nullptr;  // where libraryWords() collects, while it runs
QtMessageHandler passOn = nullptr;

void dropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

void hearQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (heard) heard->append(heard->empty() ? "" : "; ").append(text.toStdString());
    passOn(type, context, text);
}

// Standard error goes to a temporary file while it lives; what it took.
class CaughtStandardError {
  public:
    CaughtStandardError() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        file_ = saved_ >= 0 ? std::tmpfile() : nullptr;
        if (file_) ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CaughtStandardError() { release(); }
    CaughtStandardError(const CaughtStandardError&) = delete;
    CaughtStandardError& operator=(const CaughtStandardError&) = delete;
    std::string release() {
        std::string text;
        if (file_) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            std::rewind(file_);
            char chunk[512];
            for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;)
                text.append(chunk, n);
            std::fclose(file_);
            file_ = nullptr;
        }
        if (saved_ >= 0) ::close(saved_);
        saved_ = -1;
        return text;
    }

  private:
    int saved_ = -1;
    std::FILE* file_ = nullptr;
};

}  // namespace

void setLibraryLogging(bool verbose) {
    verboseRun = verbose;
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    qInstallMessageHandler(verbose ? nullptr : dropQtMessage);
}

std::string libraryWords(const std::function<void()>& step) {
    std::string words;
    struct Listening {
        explicit Listening(std::string& words) {
            heard = &words;
            passOn = qInstallMessageHandler(hearQtMessage);
        }
        ~Listening() {
            qInstallMessageHandler(passOn);
            heard = nullptr;
        }
    } listening(words);
    CaughtStandardError caught;
    step();
    const std::string printed = caught.release();
    if (verboseRun) (void)writeAll(STDERR_FILENO, printed);
    // One line each, without libpng's own label.
    std::size_t at = 0;
    for (std::size_t end; at < printed.size(); at = end + 1) {
        end = printed.find('\n', at);
        if (end == std::string::npos) end = printed.size();
        std::string line = printed.substr(at, end - at);
        if (line.rfind("libpng error: ", 0) == 0) line.erase(0, 14);
        if (!line.empty()) words.append(words.empty() ? "" : "; ").append(line);
    }
    return words;
}

}  // namespace orv::cli
