#include "platform/file_size_signal.h"

#include <csignal>

namespace velk2 {

void ignore_file_size_signal() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

} // namespace velk2
