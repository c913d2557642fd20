#include "cli/library_logging.h"

#include <QtGlobal>

extern "C" {
#include <libavutil/log.h>
}

namespace orv::cli {
namespace {

void dropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

void setLibraryLogging(bool verbose) {
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    qInstallMessageHandler(verbose ? nullptr : dropQtMessage);
}

}  // namespace orv::cli
