#include "workshop_role.h"

#include "hex_text.h"

#include <string>

namespace boxsim {

WorkshopRole::WorkshopRole(int baud, BootloaderFaults faults, WorkshopPlan plan)
    : baud_(baud), faults_(faults), plan_(plan), next_box_at_(plan.appear_after) {}

Step WorkshopRole::receive(std::string_view bytes, Millis now) {
    if (stage_ == Stage::absent) {
        Step step;
        step.note("no box on the line: ignored " + hex_text(bytes));
        return step;
    }
    Step step = box_->receive(bytes, now);
    after(step, now);
    return step;
}

Step WorkshopRole::tick(Millis now) {
    Step step;
    if (stage_ == Stage::absent) {
        if (!next_box_at_ || now < *next_box_at_) return step;
        // A box just switched on starts its bootloader afresh: its first
        // "C" goes out at once.
        ++box_number_;
        box_.emplace(baud_, faults_);
        stage_ = Stage::asking;
        step.note("box " + std::to_string(box_number_) + " switched on");
        step.results.push_back("box " + std::to_string(box_number_) + " here");
    }
    if (stage_ == Stage::restarted && now >= restart_until_ && box_->waiting_for_file()) {
        leave(step, now);
        return step;
    }
    Step box_step = box_->tick(now);
    for (auto& t : box_step.out) step.out.push_back(std::move(t));
    for (auto& line : box_step.log) step.log.push_back(std::move(line));
    for (auto& line : box_step.results) step.results.push_back(std::move(line));
    after(step, now);
    return step;
}

Step WorkshopRole::line_event(Millis now) {
    if (stage_ == Stage::absent) return {};
    return box_->line_event(now);
}

// What a box does once an upload has ended with the closing block.
void WorkshopRole::after(Step& step, Millis now) {
    if (!step.finished) return;
    const std::string box = "box " + std::to_string(box_number_);
    if (plan_.restart_for) {
        stage_ = Stage::restarted;
        restart_until_ = now + *plan_.restart_for;
        step.note(box + " restarts into its bootloader for " +
                  std::to_string(plan_.restart_for->count()) + " ms");
        step.results.push_back(box + " restarted");
    } else if (plan_.swap_after) {
        leave(step, now);
    }
}

void WorkshopRole::leave(Step& step, Millis now) {
    const std::string box = "box " + std::to_string(box_number_);
    stage_ = Stage::absent;
    box_.reset();
    const bool more = plan_.swap_after && (!plan_.boxes || box_number_ < *plan_.boxes);
    next_box_at_.reset();
    if (more) next_box_at_ = now + *plan_.swap_after;
    step.note(box + " gone" +
              (more ? ", the next one in " + std::to_string(plan_.swap_after->count()) + " ms"
                    : std::string(", no box follows")));
    step.results.push_back(box + " gone");
}

} // namespace boxsim
