// Good workbooks whose container carries the slack that files saved over years show (made by
// tests/fixtures/make_slack_fixtures.py from the file named beside each): each reads exactly as
// the file it was made from, and saving it writes the same clean file as saving that one.
// Slack that something needs (a stream or a directory entry in the missing tail) is damage.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/container/compound_file.h"
#include "archive/container/format_violation.h"
#include "archive/workbook.h"
#include "workbook_test_support.h"

using namespace clivara::archive;
using namespace workbook_test;

namespace {

const std::vector<std::pair<std::string, std::string>> kSlackFixtures = {
    {"crafted-slack-tail-lo.xls", "lo-clienti.xls"},
    {"crafted-slack-tail-stream.xls", "crafted-rewrapped.xls"},
    {"crafted-slack-ministream-lo.xls", "lo-clienti.xls"},
    {"crafted-slack-ministream-gnumeric.xls", "gnumeric-clienti.xls"},
    {"crafted-slack-directory-lo.xls", "lo-clienti.xls"},
    {"crafted-slack-directory-xlwt.xls", "xlwt-clienti.xls"},
    {"crafted-slack-fat-xlwt.xls", "xlwt-clienti.xls"},
    {"crafted-slack-fat-gnumeric.xls", "gnumeric-clienti.xls"},
    {"crafted-slack-minitable.xls", "crafted-rewrapped.xls"},
};

void expectSameEntries(const std::vector<CompoundEntry>& got,
                       const std::vector<CompoundEntry>& want, const std::string& where) {
    ASSERT_EQ(got.size(), want.size()) << where;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const std::string name = where + "/" + want[i].name;
        EXPECT_EQ(got[i].name, want[i].name) << name;
        EXPECT_EQ(got[i].isStorage, want[i].isStorage) << name;
        EXPECT_EQ(got[i].classId, want[i].classId) << name;
        EXPECT_TRUE(got[i].data == want[i].data) << name;
        expectSameEntries(got[i].children, want[i].children, name);
    }
}

TEST(ContainerSlack, ReadsExactlyAsTheFileItWasMadeFrom) {
    for (const auto& [slack, base] : kSlackFixtures) {
        SCOPED_TRACE(slack);
        const auto slackBytes = readBytes(fixture(slack));
        const auto baseBytes = readBytes(fixture(base));
        ASSERT_NE(slackBytes, baseBytes);
        // Every stream and storage of the container, the small streams of the mini stream too.
        const CompoundFile got = readCompoundFile(slackBytes);
        const CompoundFile want = readCompoundFile(baseBytes);
        EXPECT_EQ(got.rootClassId, want.rootClassId);
        expectSameEntries(got.entries, want.entries, "");

        const Workbook slackBook = Workbook::fromBytes(slackBytes, slack);
        const Workbook baseBook = Workbook::fromBytes(baseBytes, base);
        ASSERT_EQ(slackBook.sheetCount(), baseBook.sheetCount());
        for (std::size_t i = 0; i < baseBook.sheetCount(); ++i) {
            EXPECT_EQ(cellTexts(slackBook.sheetAt(i)), cellTexts(baseBook.sheetAt(i)));
        }
        // Saved, it is the file the undamaged original is saved as: 512-byte sectors whole,
        // a mini stream of its true size, no stray entries.
        const auto saved = slackBook.toBytes();
        EXPECT_EQ(saved.size() % 512, 0u);
        EXPECT_TRUE(saved == baseBook.toBytes());
    }
}

// BIFF8 records under Excel 5.0's stream name: read as the same workbook under that name, and
// saved back under it.
TEST(ContainerSlack, ABiff8StreamNamedBookIsReadAndSavedUnderItsName) {
    const auto bytes = readBytes(fixture("crafted-book-biff8.xls"));
    ASSERT_NE(readCompoundFile(bytes).findStream("Book"), nullptr);
    const Workbook book = Workbook::fromBytes(bytes, "book");
    const Workbook base = Workbook::fromBytes(readBytes(fixture("crafted-rewrapped.xls")), "base");
    ASSERT_EQ(book.sheetCount(), base.sheetCount());
    EXPECT_EQ(cellTexts(book.sheetAt(0)), cellTexts(base.sheetAt(0)));

    const CompoundFile saved = readCompoundFile(book.toBytes());
    EXPECT_NE(saved.findStream("Book"), nullptr);
    EXPECT_EQ(saved.findStream("Workbook"), nullptr);
    EXPECT_EQ(cellTexts(Workbook::fromBytes(book.toBytes(), "again").sheetAt(0)),
              cellTexts(base.sheetAt(0)));
}

// The tail fixtures keep exactly the bytes of the last sector that something uses: one byte
// less cuts into a stream, an allocation entry or a directory entry in use.
TEST(ContainerSlack, ATailThatSomethingNeedsIsDamage) {
    for (const char* name : {"crafted-slack-tail-lo.xls", "crafted-slack-tail-stream.xls"}) {
        auto bytes = readBytes(fixture(name));
        ASSERT_NE(bytes.size() % 512, 0u) << name;
        bytes.pop_back();
        EXPECT_THROW(readCompoundFile(bytes), FormatViolation) << name;
    }

    // gnumeric-clienti ends with its allocation sector, which describes 18 sectors: its
    // entries of sectors beyond the end may be missing, one more byte may not.
    const auto original = readBytes(fixture("gnumeric-clienti.xls"));
    ASSERT_EQ(original.size(), 19u * 512);
    auto cut = original;
    cut.resize(18 * 512 + 18 * 4);
    expectSameEntries(readCompoundFile(cut).entries, readCompoundFile(original).entries, "");
    cut.pop_back();
    EXPECT_THROW(readCompoundFile(cut), FormatViolation);
}

}  // namespace
