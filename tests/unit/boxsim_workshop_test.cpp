// The simulator's workshop bench on a virtual time line: when boxes come and
// go, when they ask with "C", and that each upload is taken whole.
#include "boxsim/options.h"
#include "boxsim/workshop_role.h"
#include "upload/crc16.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using boxsim::Millis;

std::string packet(char lead, unsigned k, const std::string& data) {
    const std::uint16_t crc = velk2::crc16(data);
    return std::string{lead, char(k), char(255 - k)} + data + char(crc >> 8) + char(crc & 0xFF);
}

// A whole YMODEM batch of one file of `size` bytes, as the loader sends it.
std::string upload_stream(const std::string& name, const std::string& data) {
    std::string field = name + '\0' + std::to_string(data.size()) + '\0';
    field.resize(128, '\0');
    std::string stream = packet('\x01', 0, field);
    std::string padded = data;
    padded.resize((data.size() + 1023) / 1024 * 1024, '\0');
    for (unsigned k = 1; k * 1024 <= padded.size(); ++k)
        stream += packet('\x02', k, padded.substr((k - 1) * 1024, 1024));
    return stream + "\x04\x04" + packet('\x01', 0, std::string(128, '\0'));
}

// Runs the bench from 0 to `until_ms` in 10-ms ticks; at each time of
// `uploads_at_ms` the PC sends a whole upload. The transcript has one entry
// per event: "T C" for a "C" the box sends on its own, "T up" for an upload
// the box took whole (with its closing block), "T -" for one it ignored, and
// "T <result line>".
std::vector<std::string> run_bench(const boxsim::WorkshopPlan& plan,
                                   const std::vector<long> uploads_at_ms, long until_ms,
                                   std::vector<std::string>* files = nullptr) {
    boxsim::WorkshopRole role(230400, {}, plan);
    std::vector<std::string> events;
    const std::string data(2500, 'x');
    std::size_t next_upload = 0;
    for (long t = 0; t <= until_ms; t += 10) {
        const auto note = [&](const boxsim::Step& step, bool upload) {
            if (upload) events.push_back(std::to_string(t) + (step.finished ? " up" : " -"));
            for (const auto& result : step.results)
                events.push_back(std::to_string(t) + " " + result);
            if (step.file && files) files->push_back(step.file->name + ":" + step.file->bytes);
            if (!upload && step.sent() == "C") events.push_back(std::to_string(t) + " C");
        };
        if (next_upload < uploads_at_ms.size() && uploads_at_ms[next_upload] == t) {
            ++next_upload;
            note(role.receive(upload_stream("fw.dsp", data), Millis(t)), true);
        }
        note(role.tick(Millis(t)), false);
    }
    return events;
}

using Events = std::vector<std::string>;

TEST(BoxsimWorkshop, BoxesComeAskAndGoOnTheirTimeLine) {
    const struct {
        const char* what;
        boxsim::WorkshopPlan plan;
        std::vector<long> uploads_at;
        long until;
        Events events;
    } cases[] = {
        {"a box switched on late is dead until then, then asks every second",
         {Millis(2500)},
         {1000, 3200},
         5500,
         {"1000 -", "2500 box 1 here", "2500 C", "3200 up", "4200 C", "5200 C"}},
        {"after its upload a box asks again for a while, then is gone for good",
         {Millis(0), Millis(2500)},
         {300, 4000},
         6000,
         {"0 box 1 here", "0 C", "300 up", "300 box 1 restarted", "1300 C", "2300 C",
          "2800 box 1 gone", "4000 -"}},
        {"a restarted box takes a second upload: it is flashed twice",
         {Millis(0), Millis(2500)},
         {300, 1500},
         5000,
         {"0 box 1 here", "0 C", "300 up", "300 box 1 restarted", "1300 C", "1500 up",
          "1500 box 1 restarted", "2500 C", "3500 C", "4000 box 1 gone"}},
        {"a swap: silence, then a new box, up to the count",
         {Millis(0), std::nullopt, Millis(1500), 2u},
         {200, 1000, 2000, 4000},
         6000,
         {"0 box 1 here", "0 C", "200 up", "200 box 1 gone", "1000 -", "1700 box 2 here", "1700 C",
          "2000 up", "2000 box 2 gone", "4000 -"}},
        {"a restart, then a swap",
         {Millis(0), Millis(1200), Millis(1000)},
         {100},
         3500,
         {"0 box 1 here", "0 C", "100 up", "100 box 1 restarted", "1100 C", "1300 box 1 gone",
          "2300 box 2 here", "2300 C", "3300 C"}},
        {"without a restart time a box asks on after its upload, as always",
         {Millis(500)},
         {600},
         3000,
         {"500 box 1 here", "500 C", "600 up", "1600 C", "2600 C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run_bench(c.plan, c.uploads_at, c.until), c.events);
    }
}

// Every upload of a box that is there is stored whole, the restarted box's
// second one too.
TEST(BoxsimWorkshop, EachUploadIsTakenWhole) {
    std::vector<std::string> files;
    run_bench({Millis(0), Millis(3000)}, {100, 1500}, 2000, &files);
    const std::string whole = "fw.dsp:" + std::string(2500, 'x');
    EXPECT_EQ(files, (std::vector<std::string>{whole, whole}));
}

// The PC's open brings a prompt "C" from a box that is there, never from an
// empty line.
TEST(BoxsimWorkshop, PortOpenPromptsOnlyABoxThatIsThere) {
    boxsim::WorkshopRole role(230400, {}, {Millis(1000)});
    role.line_event(Millis(100));
    std::string sent;
    for (long t = 0; t < 1000; t += 10) sent += role.tick(Millis(t)).sent();
    EXPECT_EQ(sent, "");
    EXPECT_EQ(role.tick(Millis(1000)).sent(), "C");
    role.line_event(Millis(1100));
    EXPECT_EQ(role.tick(Millis(1120)).sent(), "");
    const auto prompt = role.tick(Millis(1130));
    ASSERT_EQ(prompt.out.size(), 1u);
    EXPECT_EQ(prompt.out[0].bytes, "C");
    EXPECT_TRUE(prompt.out[0].optional);
}

TEST(BoxsimWorkshop, OptionsOfTheBench) {
    const struct {
        std::vector<std::string_view> args;
        long appear_ms, restart_ms, swap_ms; // -1: not set
        unsigned boxes;                      // 0: not set
        bool numbered;
    } accepted[] = {
        {{"--role", "bootloader"}, 0, -1, -1, 0, false},
        {{"--role", "bootloader", "--appear-after", "2.5"}, 2500, -1, -1, 0, false},
        {{"--role", "bootloader", "--appear-after=0.125", "--restart-for", "3"},
         125,
         3000,
         -1,
         0,
         false},
        {{"--role", "bootloader", "--swap-after", "1.25", "--boxes", "4", "--number-files"},
         0,
         -1,
         1250,
         4,
         true},
    };
    for (const auto& c : accepted) {
        const std::string label(c.args.back());
        const auto parsed = boxsim::parse_options(c.args);
        ASSERT_TRUE(parsed.options) << label << ": " << parsed.error;
        const auto& plan = parsed.options->workshop;
        EXPECT_EQ(plan.appear_after.count(), c.appear_ms) << label;
        EXPECT_EQ(plan.restart_for ? plan.restart_for->count() : -1, c.restart_ms) << label;
        EXPECT_EQ(plan.swap_after ? plan.swap_after->count() : -1, c.swap_ms) << label;
        EXPECT_EQ(plan.boxes.value_or(0), c.boxes) << label;
        EXPECT_EQ(parsed.options->number_files, c.numbered) << label;
    }
    const struct {
        std::vector<std::string_view> args;
        const char* error;
    } refused[] = {
        {{"--role", "bootloader", "--restart-for", "0.0005"}, "--restart-for needs seconds"},
        {{"--role", "bootloader", "--appear-after", "-1"}, "--appear-after needs seconds"},
        {{"--role", "bootloader", "--appear-after", ".5"}, "--appear-after needs seconds"},
        {{"--role", "bootloader", "--swap-after", "86400.001"}, "--swap-after needs seconds"},
        {{"--role", "bootloader", "--boxes", "2"}, "--boxes needs --swap-after"},
        {{"--role", "bootloader", "--swap-after", "1", "--boxes", "0"}, "--boxes needs a count"},
        {{"--role", "bootloader", "--number-files=yes"}, "--number-files takes no value"},
        {{"--role", "sender", "--file", "x", "--appear-after", "1"}, "belong to --role bootloader"},
    };
    for (const auto& c : refused) {
        const std::string label(c.args.back());
        const auto parsed = boxsim::parse_options(c.args);
        EXPECT_FALSE(parsed.options) << label;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << label << ": " << parsed.error;
    }
}

} // namespace
