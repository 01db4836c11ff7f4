// The ordered pipeline: results in production order for any number of
// workers, a bounded window, and the first failure in order is the one
// raised.
#include "package/block_pipeline.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace sfx {
namespace {

struct Job {
  int item = 0;
  int result = 0;
};

TEST(BlockPipelineTest, OrderWindowAndFirstFailure) {
  for (unsigned jobs : {1u, 2u, 8u}) {
    for (int failing : {-1, 0, 37}) {
      SCOPED_TRACE("jobs " + std::to_string(jobs) + ", failing " +
                   std::to_string(failing));
      int produced = 0;
      std::vector<int> consumed;
      std::size_t most_in_flight = 0;
      auto run = [&]() {
        RunOrderedPipeline<Job>(
            jobs,
            [&](Job* job) {
              if (produced == 100) return false;
              job->item = produced++;
              most_in_flight =
                  std::max(most_in_flight, static_cast<std::size_t>(produced) -
                                               consumed.size());
              return true;
            },
            [&](Job& job) {
              // Later jobs fail too, and may finish first.
              if (failing >= 0 && job.item >= failing) {
                throw std::runtime_error(std::to_string(job.item));
              }
              job.result = job.item * job.item;
            },
            [&](Job& job) {
              EXPECT_EQ(job.result, job.item * job.item);
              consumed.push_back(job.item);
            });
      };
      if (failing < 0) {
        run();
        EXPECT_EQ(consumed.size(), 100u);
      } else {
        try {
          run();
          ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
          EXPECT_EQ(e.what(), std::to_string(failing));
        }
        EXPECT_EQ(consumed.size(), static_cast<std::size_t>(failing));
      }
      for (std::size_t i = 0; i < consumed.size(); ++i) {
        EXPECT_EQ(consumed[i], static_cast<int>(i));
      }
      EXPECT_LE(most_in_flight, std::size_t{jobs} * kJobsInFlightPerWorker);
    }
  }
}

}  // namespace
}  // namespace sfx
