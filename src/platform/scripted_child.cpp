#include "platform/scripted_child.h"

#include <algorithm>

namespace velk2 {

namespace {

class ScriptedChild final : public ChildProcess {
  public:
    explicit ScriptedChild(std::shared_ptr<ChildScript> script) : script_(std::move(script)) {}

    void write_input(std::string_view bytes) override {
        if (!script_->input_closed) queue_ += bytes;
    }
    std::size_t input_pending() const override { return queue_.size(); }
    void close_input() override {
        queue_.clear();
        script_->input_closed = true;
    }
    void poll() override {
        ++script_->polls;
        if (exit_) return;
        const std::size_t n =
            std::min(queue_.size(), script_->reads_per_poll.value_or(queue_.size()));
        script_->input += queue_.substr(0, n);
        queue_.erase(0, n);
        output_.add_stdout(script_->stdout_pending);
        output_.add_stderr(script_->stderr_pending);
        script_->stdout_pending.clear();
        script_->stderr_pending.clear();
        if (script_->killed && !script_->ending) script_->ending = ChildExit{true, SIGKILL_number};
        if (script_->ending) {
            exit_ = script_->ending;
            queue_.clear();
        }
    }
    std::vector<std::string> take_lines() override { return output_.take_lines(); }
    std::string stderr_tail() const override { return output_.stderr_tail(); }
    std::optional<ChildExit> exit_status() const override { return exit_; }
    void kill() override {
        if (!exit_) script_->killed = true;
    }

  private:
    static constexpr int SIGKILL_number = 9; // as POSIX numbers it
    std::shared_ptr<ChildScript> script_;
    std::string queue_;
    ChildOutput output_{max_line_bytes, stderr_tail_lines};
    std::optional<ChildExit> exit_;
};

} // namespace

StartChild ScriptedChildren::starter() {
    return [this](const std::string& program, const std::vector<std::string>& arguments) {
        auto script = std::make_shared<ChildScript>();
        script->program = program;
        script->arguments = arguments;
        started_.push_back(script);
        if (refusal_) {
            ChildStart refused{nullptr, *refusal_};
            refusal_.reset();
            return refused;
        }
        return ChildStart{std::make_unique<ScriptedChild>(script), {}};
    };
}

} // namespace velk2
