// A workshop bench on one line: boxes that come and go. The first box is
// switched on after a delay (the line is dead until then); after a finished
// upload a box may restart into its bootloader and ask for a file again for
// a while, as a real box does after flashing; a box may be swapped for a new
// one, which asks with "C" after the line has been silent for a while.
#pragma once

#include "bootloader_role.h"
#include "role.h"

#include <optional>

namespace boxsim {

struct WorkshopPlan {
    Millis appear_after{0}; // the line is dead this long before the first box
    // After a finished upload the box asks with "C" again this long, then it
    // is gone (its firmware runs, or it was unplugged). Not set: it asks on
    // for as long as it is there.
    std::optional<Millis> restart_for{};
    // After a box is gone, the line is dead this long, then a new box asks.
    // Not set: no box follows.
    std::optional<Millis> swap_after{};
    std::optional<unsigned> boxes{}; // boxes in all, the first one included
    // True when the bench differs from one box that is there from the start
    // and stays: the simulator then says when boxes come and go.
    bool active() const { return appear_after.count() > 0 || restart_for || swap_after || boxes; }
};

class WorkshopRole final : public Role {
  public:
    WorkshopRole(int baud, BootloaderFaults faults, WorkshopPlan plan);

    int baud() const override { return baud_; }
    Step receive(std::string_view bytes, Millis now) override;
    Step tick(Millis now) override;
    Step line_event(Millis now) override;

  private:
    enum class Stage { absent, asking, restarted };

    void after(Step& step, Millis now);
    void leave(Step& step, Millis now);

    int baud_;
    BootloaderFaults faults_;
    WorkshopPlan plan_;
    Stage stage_ = Stage::absent;
    std::optional<Millis> next_box_at_; // none: no more boxes
    Millis restart_until_{0};
    unsigned box_number_ = 0;
    std::optional<BootloaderRole> box_;
};

} // namespace boxsim
