#pragma once
// What the evaluation suites share: a table-backed reader that records its reads,
// the expected shape of rows and lines, and the facts of a start on bare metal.

#include "ui/verdicts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// A table of stored probe values; it records every read so the order and the
// count of reads can be checked.
class TableReader : public ProbeReader {
  public:
    std::map<std::string, std::int32_t> ints;
    std::map<std::string, std::string> texts;
    std::vector<std::string> reads;

    std::int32_t readInt(const std::string& name) override {
        reads.push_back(name);
        auto it = ints.find(name);
        return it == ints.end() ? 0 : it->second;
    }
    std::string readText(const std::string& name) override {
        reads.push_back(name);
        auto it = texts.find(name);
        return it == texts.end() ? std::string() : it->second;
    }
};

inline const char* const kIntelName = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
inline const char* const kAmdName = "AMD Ryzen 7 5800X 8-Core Processor";

// No hypervisor, and the driver ran in this start.
inline const StartFacts kBareMetalRan{HypervisorFacts{}, ProbeOutcome{ProbeOutcomeKind::Ran, 0}};

struct Row {
    const char* item;
    const char* value;
    Marker marker;
};

inline void expectRows(const VerdictSet& set, const std::vector<Row>& want) {
    ASSERT_EQ(set.rows.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(set.rows[i].item, want[i].item);
        EXPECT_EQ(set.rows[i].value, want[i].value);
        EXPECT_EQ(set.rows[i].marker, want[i].marker);
    }
}

inline void expectLine(const VerdictLine& line, const char* caption, VerdictBackground background) {
    EXPECT_EQ(line.caption, caption);
    EXPECT_EQ(line.background, background);
    EXPECT_EQ(line.textColor, 0xFFFFFFu);
}

inline const auto P = VerdictBackground::Positive;
inline const auto N = VerdictBackground::Negative;
inline const auto U = VerdictBackground::Unchanged;
