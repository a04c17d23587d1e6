#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <exception>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

// Work that only looks (reads a file, builds a name from it) done on a second thread, ahead of
// a batch and in the order the batch will ask for it. The batch's own thread is left with what
// must happen in order, one file after the other: the journal, the change, the questions.
//
// The planner must only look: it may run for a file before the batch has changed the files
// ahead of it in the list, and it runs on another thread, so it must touch no shared state
// (no journal, no widget, no prompt). A batch that stops early simply leaves the plans made
// beyond its stop unused. The worker stays at most kAhead files in front, so what it saw is
// never older than the few milliseconds that many changes take.
template <typename Plan> class PlanAhead {
public:
    using Planner = std::function<Plan(const QString& name)>;

    PlanAhead(QStringList names, Planner planner)
        : names_(std::move(names)), planner_(std::move(planner)), plans_(size_t(names_.size())) {
        // One file gains nothing from a second thread.
        if (names_.size() > 1)
            worker_ = std::thread([this] { run(); });
    }
    ~PlanAhead() {
        stop_.store(true);
        taken_.store(kNoLimit);
        taken_.notify_all();
        if (worker_.joinable())
            worker_.join();
    }
    PlanAhead(const PlanAhead&) = delete;
    PlanAhead& operator=(const PlanAhead&) = delete;

    // The plan for `name`, the next file of the batch. A name out of the expected order is
    // planned here and now. Rethrows what planning that file threw.
    Plan next(const QString& name) {
        if (cursor_ >= int(names_.size()) || names_[cursor_] != name || !worker_.joinable())
            return planner_(name);
        const int at = cursor_++;
        for (int done = done_.load(std::memory_order_acquire); done <= at;
             done = done_.load(std::memory_order_acquire))
            done_.wait(done, std::memory_order_acquire);
        // The worker is woken in steps of half the distance: waking a thread on another processor
        // costs about as much as the changes of a dozen files.
        if (cursor_ % (kAhead / 2) == 0) {
            taken_.store(cursor_, std::memory_order_release);
            taken_.notify_one();
        }
        Slot& slot = plans_[size_t(at)];
        if (slot.error)
            std::rethrow_exception(slot.error);
        return std::move(*slot.plan);
    }

private:
    static constexpr int kAhead = 256;
    static constexpr int kNoLimit = 1 << 30;

    struct Slot {
        std::optional<Plan> plan;
        std::exception_ptr error;
    };

    void run() {
        const int n = int(names_.size());
        for (int i = 0; i < n; ++i) {
            for (int taken = taken_.load(std::memory_order_acquire); i - taken >= kAhead;
                 taken = taken_.load(std::memory_order_acquire))
                taken_.wait(taken, std::memory_order_acquire);
            if (stop_.load(std::memory_order_relaxed))
                return;
            Slot& slot = plans_[size_t(i)];
            try {
                slot.plan.emplace(planner_(names_[i]));
            } catch (...) {
                slot.error = std::current_exception();
            }
            done_.store(i + 1, std::memory_order_release);
            done_.notify_one();
        }
    }

    const QStringList names_;
    const Planner planner_;
    std::vector<Slot> plans_;
    int cursor_ = 0;                // the batch's place: the next plan it takes
    std::atomic<int> done_{0};      // plans [0, done_) are made
    std::atomic<int> taken_{0};     // the batch has taken plans [0, taken_), give or take a step
    std::atomic<bool> stop_{false}; // the batch is over
    std::thread worker_;
};
