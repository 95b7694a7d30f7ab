#include "archive/book/archive_guard.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "archive/archive_error.h"

namespace clivara::archive {
namespace {

constexpr int kFailed = 2;

TEST(ArchiveGuard, ResultOfAnActionThatEndsPassesThroughAndNothingIsWritten) {
    std::ostringstream err;
    EXPECT_EQ(guardedRun(err, kFailed, [] { return 1; }), 1);
    EXPECT_EQ(guardedRun(err, kFailed, [] { return kFailed; }), kFailed);
    EXPECT_EQ(err.str(), "");
}

TEST(ArchiveGuard, EachKindOfFailureBecomesItsItalianLineAndTheFailedResult) {
    const auto failure = [](auto thrown) {
        std::ostringstream err;
        const int result = guardedRun(err, kFailed, [&]() -> int { throw thrown; });
        EXPECT_EQ(result, kFailed);
        return err.str();
    };
    EXPECT_EQ(failure(ArchiveError(ArchiveProblem::Damaged, "L'archivio a.xls è danneggiato.")),
              "L'archivio a.xls è danneggiato.\n");
    EXPECT_EQ(failure(std::bad_alloc()), "Memoria insufficiente per leggere l'archivio.\n");
    EXPECT_EQ(failure(std::runtime_error("disco pieno")), "Operazione non riuscita: disco pieno\n");
}

TEST(ArchiveGuard, WhatIsNotAStandardExceptionPassesOn) {
    std::ostringstream err;
    EXPECT_THROW(guardedRun(err, kFailed, []() -> int { throw 7; }), int);
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace clivara::archive
