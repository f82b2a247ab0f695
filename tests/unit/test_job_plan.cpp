// A job's plan from its command line, before a file or the board is touched: the type, the
// programming level, the part whose limit holds, the actions and the range end; or the text
// of the refusal, as the job says it after the program's name.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>

#include "console/job.h"
#include "eprom/ic_func.h"
#include "eprom/ic_types.h"
#include "eprom/parts.h"
#include "job/plan.h"
#include "job/run.h"
#include "link/stop.h"
#include "tests/support/runs.h"
#include "tests/support/wire.h"

namespace {

// The job options of `line`, each word taken as the command line takes it.
JobOptions optionsOf(const std::string& line, std::deque<std::string>* words) {
    JobOptions o;
    JobDefaults(&o);
    std::istringstream in(line);
    for (std::string w; in >> w;)
        words->push_back(w);
    for (auto w = words->begin(); w != words->end(); ++w) {
        const option* opt = JobLongOptions;
        while (opt->name && ("--" + std::string(opt->name) != *w) &&
               !(w->size() == 2 && (*w)[1] == opt->val))
            opt++;
        EXPECT_NE(opt->name, nullptr) << *w;
        const char* value = opt->has_arg == required_argument ? (++w)->c_str() : nullptr;
        char err[300];
        EXPECT_EQ(JobOption(opt->val, opt->name, value, &o, err, sizeof err), 1) << err;
    }
    return o;
}

// The plan in one line: "27256 12.75 V part 27C256: blank, write fw.bin, end 0x7FFF".
std::string shown(const JobPlan& p) {
    char volts[16];
    std::string s = std::string(p.o.type < 0 ? "no chip" : ICTypeName(p.o.type)) + " " +
                    FormatVolts(VppLevelMillivolts(p.o.vpp), volts, sizeof volts);
    if (p.part)
        s += std::string(" part ") + p.part->names[0];
    s += ":";
    for (int a = 0; a < p.o.count; a++) {
        s += std::string(a ? ", " : " ") + JobActionName(p.o.actions[a].kind);
        if (p.o.actions[a].file)
            s += std::string(" ") + p.o.actions[a].file;
    }
    char end[32];
    snprintf(end, sizeof end, ", end 0x%lX", p.end);
    return s + end + (p.imageOut ? ", image out" : "") +
           (p.o.addressing == TADR_PLAIN ? ", plain addressing" : "") +
           (p.noBoard ? ", no board" : "");
}

TEST(JobPlan, OptionsGiveThePlanOrTheRefusal) {
    const struct {
        const char* line;
        int stdoutClosed;
        const char* plan; // or the refusal
    } rows[] = {
        {"-t 27256 --blank --write fw.bin --verify fw.bin --read out.bin", 0,
         "27256 12.75 V: blank, write fw.bin, verify fw.bin, read out.bin, end 0x7FFF"},
        // A part's name brings its type, its voltage and its limit, with -t as with -p.
        {"-t 27C256 --range 1FFF --read -", 0,
         "27256 12.75 V part 27C256: read -, end 0x1FFF, "
         "image out"},
        {"-p MBM2764-25 --write fw.bin", 0, "2764 21 V part 2764: write fw.bin, end 0x1FFF"},
        {"-p D2764A-2 --vpp 21 --blank", 0,
         "--vpp 21: a 2764A takes at most 14 V on Vpp: 21 V would destroy it"},
        // Of the two parts, the lower limit holds, whatever the other brings.
        {"-t 27C64 -p D2764-25 --blank", 0,
         "--vpp 21 V: a 27C64 takes at most 14 V on Vpp: 21 V would destroy it"},
        {"-t 27C64 -p D2764-25 --vpp 12 --blank", 0, "2764 12.75 V part 27C64: blank, end 0x1FFF"},
        {"-t 2764 -p 27C256 --blank", 0, "-t 2764 and -p 27C256: a 27C256 is a 27256, not a 2764"},
        // A bare type limits the burn to what its parts program at; a read takes any level.
        {"-t 27256 --vpp 21 --write fw.bin", 0,
         "--vpp 21: no 27256 programs above 12.75 V: 21 V would destroy it"},
        {"-t 27256 --vpp 21 --read out.bin", 0, "27256 21 V: read out.bin, end 0x7FFF"},
        {"--blank", 0, "a job needs the EPROM type (-t TYPE) or the part (-p NAME)"},
        {"-t 27256 --range 8000 --blank", 0, "--range 0x8000: a 27256 has 0x1 to 0x7FFF"},
        {"-t 27256 --range 0 --blank", 0, "--range 0x0: a 27256 has 0x1 to 0x7FFF"},
        {"-t 2716 --blank --write fw.bin", 0, "--write: a 2716 cannot be programmed on this board"},
        {"-p 27C16 --write fw.bin", 0, "--write: a 27C16 cannot be programmed on this board"},
        {"-t 27256 --offset 8000 --verify fw.bin", 0,
         "--offset 0x8000: fw.bin is a raw image, which has no addresses (--format ihex or srec "
         "gives it some)"},
        {"-t 27256 --offset 8000 --format srec --read -", 0,
         "27256 12.75 V: read -, end 0x7FFF, image out"},
        {"-t 27512 --offset FFFF8000 --read x.hex", 0,
         "x.hex: address 0x100007FFF does not fit the ihex format"},
        {"-t 27256 --read -", 1, "--read -: standard output is closed; the image would be lost"},
        {"-t 27256 --read - --blank", 0, "27256 12.75 V: read -, blank, end 0x7FFF, image out"},
        {"-t 27256 --verify fw.bin --read ./fw.bin", 0,
         "--read ./fw.bin would replace the image of --verify fw.bin: read into another file"},
        {"-t 27512 --addressing plain --read out.bin", 0,
         "27512 12.75 V: read out.bin, end 0xFFFF, plain addressing"},
        // Image files alone: no chip, no board, each file its own size.
        {"--inspect a.hex --inspect b.bin", 0,
         "no chip 12.75 V: inspect a.hex, inspect b.bin, end 0x7FFFF, no board"},
        {"--inspect a.bin --blank", 0,
         "a job needs the EPROM type (-t TYPE) or the part (-p NAME)"},
        {"-t 27256 --read a.bin --inspect a.bin", 0,
         "--read a.bin would replace the image of --inspect a.bin: read into another file"},
        {"-t 27256 --write - --read -", 0, "27256 12.75 V: write -, read -, end 0x7FFF, image out"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        std::deque<std::string> words;
        const JobOptions o = optionsOf(row.line, &words);
        JobPlan plan;
        char why[400] = "";
        const int planned = PlanJob(&o, row.stdoutClosed, &plan, why, sizeof why);
        EXPECT_EQ(planned ? shown(plan) : std::string(why), row.plan);
        EndJob(&plan);
    }
}

// A job's read of a 27C512 at delay 1 with a stop (SIGTERM) or a pause (SIGTSTP) at access
// `at`: where the second pass began (`second`, the progress past half), and the chip at rest
// at each pause; the image is the chip's whenever the read went through.
struct JobReadSeen {
    uint64_t ticks = 0, at = 0, second = 0;
    int sig = 0;
    std::vector<bool> rested;
    JobResult r;
};

void seenProgress(void* self, unsigned long adresse, unsigned long end) {
    JobReadSeen& s = *static_cast<JobReadSeen*>(self);
    s.second = s.second ? s.second : adresse > end / 2 ? s.ticks : 0;
}
void seenPause(void* self, int) {
    const vsim::Board& b = vsim::board();
    static_cast<JobReadSeen*>(self)->rested.push_back(b.is_idle() && (b.ic4() & IC4Q4_OE_HIGH));
}
void seenAccess(void* self, const vsim::PortAccess&) {
    JobReadSeen& s = *static_cast<JobReadSeen*>(self);
    if (++s.ticks == s.at)
        (s.sig == SIGTERM ? StopRequest : PauseRequest) = s.sig;
}

JobReadSeen readJob(uint64_t at, int sig) {
    wire::reset_all();
    vsim::EpromChip& chip = vsim::board().insert_chip(modelType(T27512));
    chip.load(runs::make_image(chip.size(), 7));
    std::deque<std::string> words;
    const JobOptions o = optionsOf("-t 27512 --delay 1 --read out.bin", &words);
    JobPlan plan;
    char why[400];
    const JobHooks none = {nullptr, nullptr};
    EXPECT_TRUE(PlanJob(&o, 0, &plan, why, sizeof why) && StartJob(&plan, &none, why, sizeof why));
    JobReadSeen s;
    s.at = at, s.sig = sig;
    const RunHooks hooks = {seenProgress, seenPause, &s};
    vsim::board().set_access_hook(seenAccess, &s);
    s.r = RunJobAction(&plan, 0, &hooks);
    vsim::board().set_access_hook(nullptr, nullptr);
    EXPECT_TRUE(runs::board_clean_and_idle());
    EXPECT_TRUE(s.r.outcome != TACT_OK ||
                std::vector<uint8_t>(plan.work, plan.work + 0x10000) == chip.contents());
    EndJob(&plan);
    StopRequest = PauseRequest = 0;
    return s;
}

TEST(JobRead, TwoPassesQuickThenPlainAndAStopOrPauseInEitherLeavesTheChipAtRest) {
    const JobReadSeen whole = readJob(0, 0);
    EXPECT_EQ(whole.r.outcome, TACT_OK);
    // At delay 1 a quick pass costs 72 accesses a byte, a plain one 147.
    EXPECT_NEAR((double)whole.second / 0x10000, 72, 0.1);
    EXPECT_NEAR((double)whole.ticks / 0x10000, 72 + 147, 0.1);
    for (uint64_t at : {whole.second / 2, whole.second, (whole.second + whole.ticks) / 2})
        for (int sig : {SIGTERM, SIGTSTP}) {
            SCOPED_TRACE(runs::fmt("signal %d at access %lu", sig, (unsigned long)at));
            const JobReadSeen s = readJob(at, sig);
            EXPECT_EQ(s.r.outcome, sig == SIGTERM ? TACT_STOPPED : TACT_OK);
            EXPECT_EQ(s.rested, std::vector<bool>(sig == SIGTSTP ? 1 : 0, true));
        }
}

} // namespace
