// xec_test.cpp - result codes: the translation of every listed system error.
#include <gtest/gtest.h>

#include <windows.h>

#include "support/xec.h"

namespace {

// Every system error the translation names, with its code.
const struct MapRow {
    LONG error;
    DWORD code;
} kMapped[] = {
    {0, 0},     {38, 1},    {2, 3},     {3, 4},     {15, 4},    {20, 4},    {55, 4},
    {67, 4},    {123, 4},   {161, 4},   {206, 4},   {1203, 4},  {1214, 4},  {32, 5},
    {108, 5},   {4, 6},     {5, 7},     {19, 7},    {65, 7},    {1224, 7},  {50, 8},
    {53, 8},    {54, 8},    {58, 8},    {64, 8},    {70, 8},    {88, 8},    {1201, 8},
    {1204, 8},  {1206, 8},  {1222, 8},  {6118, 8},  {39, 9},    {112, 9},   {21, 10},
    {23, 10},   {25, 10},   {27, 10},   {30, 10},   {132, 10},  {267, 10},  {1006, 10},
    {1117, 10}, {1126, 10}, {1127, 10}, {1128, 10}, {1392, 10}, {1393, 10}, {8, 16},
    {14, 16},   {84, 16},   {1130, 16},
};

TEST(XecMap, ListedErrorsHaveTheirCodesEverythingElseIs18) {
    for (const MapRow &row : kMapped)
        EXPECT_EQ(Xec_MapErrorCodeEx(row.error), row.code) << "system error " << row.error;
    // Walk a range and make sure only the listed numbers leave 18.
    for (LONG e = 0; e < 7000; ++e) {
        bool listed = false;
        for (const MapRow &row : kMapped)
            listed = listed || row.error == e;
        if (!listed) {
            ASSERT_EQ(Xec_MapErrorCodeEx(e), 18u) << "system error " << e;
        }
    }
    EXPECT_EQ(Xec_MapErrorCodeEx(-1), 18u);
    // Xec_MapErrorCode reads the last error.
    SetLastError(112);
    EXPECT_EQ(Xec_MapErrorCode(), 9u) << "ERROR_DISK_FULL is disk overflow";
}

} // namespace
