#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
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
// When the batch catches up with the worker, it plans files itself rather than sleep: it takes
// the next file nobody has started, so the two threads share the looking between them. Waiting
// for a wake-up costs as much as the changes of a dozen files, and the looking may cost more per
// file than the change does.
//
// The planner must only look: it may run for a file before the batch has changed the files
// ahead of it in the list, and it runs on either thread, so it must touch no shared state
// (no journal, no widget, no prompt). A batch that stops early simply leaves the plans made
// beyond its stop unused. No file further than kAhead in front of the batch is planned, so what
// was seen is never older than the few milliseconds that many changes take.
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
        Slot& slot = plans_[size_t(at)];
        while (slot.made.load(std::memory_order_acquire) == 0) {
            // The worker has this file in hand (or it is ours to take): plan the next one nobody
            // has started meanwhile, and only wait once there is none within reach.
            if (const int i = claim(); i >= 0)
                plan(i);
            else
                slot.made.wait(0, std::memory_order_acquire);
        }
        // The worker is woken in steps of half the distance: waking a thread on another processor
        // costs about as much as the changes of a dozen files.
        if (cursor_ % (kAhead / 2) == 0) {
            taken_.store(cursor_, std::memory_order_release);
            taken_.notify_one();
        }
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
        std::atomic<int> made{0}; // plan or error is set, and released with it
    };

    // The next file nobody has started, if it lies within reach of the batch; -1 if none does.
    int claim() {
        const int end = std::min(int(names_.size()), taken_.load(std::memory_order_acquire) + kAhead);
        int i = claimed_.load(std::memory_order_relaxed);
        while (i < end && !claimed_.compare_exchange_weak(i, i + 1, std::memory_order_relaxed))
            ;
        return i < end ? i : -1;
    }

    void plan(int i) {
        Slot& slot = plans_[size_t(i)];
        try {
            slot.plan.emplace(planner_(names_[i]));
        } catch (...) {
            slot.error = std::current_exception();
        }
        slot.made.store(1, std::memory_order_release);
        slot.made.notify_one();
    }

    void run() {
        const int n = int(names_.size());
        while (!stop_.load(std::memory_order_relaxed)) {
            if (const int i = claim(); i >= 0) {
                plan(i);
                continue;
            }
            if (claimed_.load(std::memory_order_relaxed) >= n)
                return;
            // As far ahead as it may go: wait until the batch has taken more.
            const int taken = taken_.load(std::memory_order_acquire);
            if (claimed_.load(std::memory_order_relaxed) >= std::min(n, taken + kAhead))
                taken_.wait(taken, std::memory_order_acquire);
        }
    }

    const QStringList names_;
    const Planner planner_;
    std::vector<Slot> plans_;
    int cursor_ = 0;                // the batch's place: the next plan it takes
    std::atomic<int> claimed_{0};   // plans [0, claimed_) are made or being made
    std::atomic<int> taken_{0};     // the batch has taken plans [0, taken_), give or take a step
    std::atomic<bool> stop_{false}; // the batch is over
    std::thread worker_;
};
