#include <gtest/gtest.h>

#include "commserver/WorkerRequest.h"

using comms::WorkerRequest;

TEST(WorkerRequest, IsTakenAndClearedInOneStepAndAQuitStays) {
    WorkerRequest r;
    r.Post(WorkerRequest::Reopen);
    EXPECT_EQ(r.Take(), WorkerRequest::Reopen);
    EXPECT_EQ(r.Take(), WorkerRequest::None);
    r.Post(WorkerRequest::Quit);
    r.Post(WorkerRequest::ReopenWhenAllowed);
    EXPECT_EQ(r.Take(), WorkerRequest::Quit);
}
