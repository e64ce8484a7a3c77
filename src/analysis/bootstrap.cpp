#include "analysis/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace lumera::analysis {

namespace {

// A missing value while the replicates are in flight; no statistic is NaN.
constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

}  // namespace

// Matsumoto and Nishimura's 64-bit Mersenne Twister (MT19937-64), the
// generator std::mt19937_64 names.
DrawGenerator::DrawGenerator(std::uint64_t seed) {
    x_[0] = seed;
    for (std::size_t i = 1; i < kState; ++i) x_[i] = 6364136223846793005ull * (x_[i - 1] ^ (x_[i - 1] >> 62)) + i;
}

namespace {
inline std::uint64_t twisted(std::uint64_t upper, std::uint64_t lower, std::uint64_t far) {
    const std::uint64_t y = (upper & 0xFFFFFFFF80000000ull) | (lower & 0x7FFFFFFFull);
    return far ^ (y >> 1) ^ ((0 - (y & 1)) & 0xB5026F5AA96619E9ull);
}
}  // namespace

void DrawGenerator::refill() {
    constexpr std::size_t n = kState, m = 156;
    for (std::size_t i = 0; i < n - m; ++i) x_[i] = twisted(x_[i], x_[i + 1], x_[i + m]);
    for (std::size_t i = n - m; i < n - 1; ++i) x_[i] = twisted(x_[i], x_[i + 1], x_[i + m - n]);
    x_[n - 1] = twisted(x_[n - 1], x_[0], x_[m - 1]);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint64_t z = x_[i];
        z ^= (z >> 29) & 0x5555555555555555ull;
        z ^= (z << 17) & 0x71D67FFFEDA60000ull;
        z ^= (z << 37) & 0xFFF7EEE000000000ull;
        out_[i] = z ^ (z >> 43);
    }
    next_ = 0;
}

std::vector<std::uint32_t> replicateRows(std::uint64_t seed, std::uint32_t n, std::uint64_t b) {
    std::mt19937_64 generator(seed);
    generator.discard((b - 1) * n);
    std::vector<std::uint32_t> rows(n);
    for (std::uint32_t& row : rows) row = drawnRow(generator(), n);
    return rows;
}

std::string leftOutReason(const std::string& statistic) {
    if (statistic == "r" || statistic == "T") return "no eggs (R0 = 0)";
    if (statistic.rfind("duration-", 0) == 0) return "no individual completed the stage";
    if (statistic == "preadult") return "no female or male";
    if (statistic == "adult_longevity_female" || statistic == "longevity_female" || statistic == "fecundity")
        return "no female";
    if (statistic == "adult_longevity_male" || statistic == "longevity_male") return "no male";
    if (statistic == "APOP" || statistic == "TPOP" || statistic == "oviposition_days") return "no female with eggs";
    return "the statistic does not exist";
}

std::vector<StatisticReplicates> bootstrapCohort(const Cohort& cohort, const BootstrapRequest& request) {
    const std::vector<std::string> names = statisticNames(cohort);
    std::vector<std::size_t> kept;  // indices into names
    for (std::size_t i = 0; i < names.size(); ++i)
        if (request.statistics.empty() ||
            std::find(request.statistics.begin(), request.statistics.end(), names[i]) != request.statistics.end())
            kept.push_back(i);

    const LifeTableResult own = lifeTable(cohort);
    std::vector<std::optional<double>> ownValues(names.size());
    statisticValues(own.parameters, own.statistics, ownValues);

    const std::uint64_t B = request.replicates;
    const auto n = static_cast<std::uint32_t>(cohort.size());
    if (n == 0 || B == 0) throw std::invalid_argument("a bootstrap needs individuals and replicates");
    // Replicate b's value of kept statistic s at [s][b]: only the replicates kept.
    const auto arena = std::make_shared<LargePageArena>(kept.size() * B * sizeof(double));
    std::vector<ReplicateValues> values;
    values.reserve(kept.size());
    for (std::size_t s = 0; s < kept.size(); ++s) {
        values.emplace_back(ArenaAllocator<double>(arena));
        values.back().reserve(B);
        values.back().resize(B);
    }

    unsigned threads = request.threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : request.threads;
    threads = static_cast<unsigned>(std::min<std::uint64_t>(threads, B));
    const std::optional<double> rGuess = own.parameters.r;

    // The draws are one sequence: a thread takes the next block of
    // replicates and draws its rows under the lock, in block order, then
    // computes the block alone. Drawing is a small part of the work, and no
    // output of the generator is made twice, as jumping it would. A block's
    // rows take at most 256 KB a thread.
    const std::uint64_t block = std::max<std::uint64_t>(1, std::min<std::uint64_t>(256, (1u << 16) / n));
    DrawGenerator generator(request.seed);
    std::uint64_t nextReplicate = 0;
    std::mutex drawLock;
    auto work = [&](unsigned) {
        ReplicateWorkspace workspace;
        Parameters parameters;
        Statistics statistics;
        std::vector<std::uint32_t> rows(static_cast<std::size_t>(block) * n);
        std::vector<std::optional<double>> out(names.size());
        for (;;) {
            std::uint64_t first, last;
            {
                std::lock_guard<std::mutex> lock(drawLock);
                first = nextReplicate;
                if (first >= B) return;
                last = std::min(B, first + block);
                nextReplicate = last;
                for (std::size_t i = 0, count = static_cast<std::size_t>(last - first) * n; i < count; ++i)
                    rows[i] = drawnRow(generator(), n);
            }
            for (std::uint64_t b = first; b < last; ++b) {
                const std::span<const std::uint32_t> drawn(rows.data() + static_cast<std::size_t>(b - first) * n, n);
                resampledEstimates(cohort, drawn, workspace, parameters, statistics, rGuess);
                statisticValues(parameters, statistics, out);
                for (std::size_t s = 0; s < kept.size(); ++s) values[s][b] = out[kept[s]].value_or(kMissing);
            }
            if (request.done) request.done->fetch_add(last - first, std::memory_order_relaxed);
        }
    };

    std::exception_ptr failure;
    std::mutex failureLock;
    auto guarded = [&](unsigned t) {
        try {
            work(t);
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(guarded, t);
    guarded(0);
    for (std::thread& th : pool) th.join();
    if (failure) std::rethrow_exception(failure);

    std::vector<StatisticReplicates> result;
    result.reserve(kept.size());
    for (std::size_t s = 0; s < kept.size(); ++s) {
        StatisticReplicates r;
        r.name = names[kept[s]];
        r.estimate = ownValues[kept[s]];
        ReplicateValues& v = values[s];
        // Left as it is, not shrunk: a copy would cost more than the room.
        v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
        r.leftOut = B - v.size();
        if (r.leftOut > 0) r.leftOutReason = leftOutReason(r.name);
        r.values = std::move(v);
        result.push_back(std::move(r));
    }
    return result;
}

}  // namespace lumera::analysis
