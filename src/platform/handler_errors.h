// Errors thrown by click, timer or window handlers while the window system is
// delivering an event. They must not unwind through Qt or a window procedure:
// each is kept until the event pump returns and is thrown again there, so it
// reaches the program's final handler.
#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace velk2 {

class HandlerErrors {
  public:
    void run(const std::function<void()>& handler) {
        try {
            handler();
        } catch (...) {
            // The first error wins; a second one in the same delivery is a
            // consequence of the first.
            if (!first_) first_ = std::current_exception();
        }
    }
    void rethrow() {
        if (auto error = std::exchange(first_, nullptr)) std::rethrow_exception(error);
    }

  private:
    std::exception_ptr first_;
};

} // namespace velk2
