// Random generator, pow and round.
#include "script/builtins/MathRules.h"
#include "script/builtins/MergeSort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

using namespace quill;
using namespace quill::mathrules;

TEST(MathRandom, FollowsThe48BitRecurrence) {
    Random48 a, b;
    a.seed(1000);
    b.seed(1000);
    EXPECT_EQ(a.state(), (1000ULL << 16) | 0x330E);
    std::uint64_t x = a.state();
    for (int i = 0; i < 1000; ++i) {
        x = (0x5DEECE66DULL * x + 0xB) % (1ULL << 48);
        double r = a.next();
        ASSERT_EQ(r, double(x) / 281474976710656.0);
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        ASSERT_EQ(b.next(), r);
    }
    Random48 c;
    c.seed(1001);
    a.seed(1000);
    EXPECT_NE(a.next(), c.next());
    // The state stays within 48 bits even for huge seeds.
    c.seed(INT64_MAX);
    EXPECT_LT(c.state(), 1ULL << 48);
}

TEST(MathPow, IntegerResultsOnlyWhenExact) {
    EXPECT_EQ(integerPow(2, 10), 1024);
    EXPECT_EQ(integerPow(-3, 3), -27);
    EXPECT_EQ(integerPow(-3, 4), 81);
    EXPECT_EQ(integerPow(7, 0), 1);
    EXPECT_EQ(integerPow(0, 0), 1);
    EXPECT_EQ(integerPow(0, 5), 0);
    EXPECT_EQ(integerPow(-1, 1000001), -1);
    EXPECT_EQ(integerPow(1, INT64_MAX), 1);
    EXPECT_FALSE(integerPow(2, -1)); // the caller gives the Float 0.5
    EXPECT_FALSE(integerPow(0, -1));
    EXPECT_EQ(integerPow(2, 52), 1LL << 52);
    EXPECT_FALSE(integerPow(2, 53));  // magnitude 2^53 is not below 2^53
    EXPECT_FALSE(integerPow(-2, 53));
    EXPECT_FALSE(integerPow(3, 40));
    EXPECT_FALSE(integerPow(INT64_MIN, 2));
    EXPECT_FALSE(integerPow(INT64_MAX, 1));
    EXPECT_EQ(integerPow(94906265, 2), 94906265LL * 94906265LL);
    EXPECT_FALSE(integerPow(94906266, 2));
}

TEST(MathRound, HalfUpToIntegers) {
    EXPECT_EQ(roundHalfUp(2.5).integer, 3);
    EXPECT_EQ(roundHalfUp(-2.5).integer, -2);
    EXPECT_EQ(roundHalfUp(-2.6).integer, -3);
    EXPECT_EQ(roundHalfUp(0.49).integer, 0);
    EXPECT_TRUE(roundHalfUp(1e10).isInteger);
    EXPECT_EQ(roundHalfUp(1e10).integer, 10000000000LL);
    RoundResult inf = roundHalfUp(-INFINITY);
    EXPECT_FALSE(inf.isInteger);
    EXPECT_EQ(inf.real, -INFINITY);
    RoundResult big = roundHalfUp(1e30);
    EXPECT_FALSE(big.isInteger);
    EXPECT_EQ(big.real, 1e30);
}

namespace {

// The plain top-down merge sort that copies each range to the scratch
// buffer before merging it: the sequence of comparisons Array.sort has
// always made, which a script comparison function can observe.
template <class T, class Compare>
void copyingMergeSort(std::vector<T>& items, std::vector<T>& scratch, size_t lo, size_t hi, Compare& compare) {
    if (lo >= hi)
        return;
    size_t mid = lo + (hi - lo) / 2;
    copyingMergeSort(items, scratch, lo, mid, compare);
    copyingMergeSort(items, scratch, mid + 1, hi, compare);
    for (size_t i = lo; i <= hi; ++i)
        scratch[i] = items[i];
    size_t left = lo, right = mid + 1, out = lo;
    while (left <= mid && right <= hi)
        items[out++] = compare(scratch[left], scratch[right]) > 0 ? scratch[right++] : scratch[left++];
    while (left <= mid)
        items[out++] = scratch[left++];
    while (right <= hi)
        items[out++] = scratch[right++];
}

} // namespace

TEST(MergeSort, SameComparisonsAsTheCopyingSort) {
    // Consistent and inconsistent comparisons, odd and even sizes: the
    // pairs compared, their order and the result all match.
    for (size_t n : {2u, 3u, 7u, 64u, 257u, 1000u}) {
        for (int mode = 0; mode < 2; ++mode) {
            std::vector<int> input;
            for (size_t i = 0; i < n; ++i)
                input.push_back(int((i * 7919 + 13) % 101));
            std::vector<std::pair<int, int>> seen, expected;
            int calls = 0;
            auto rule = [&](int a, int b) { return mode == 0 ? a - b : (calls++ % 3) - 1; };
            std::vector<int> ours = input;
            mergeSort(ours, [&](int a, int b) {
                seen.emplace_back(a, b);
                return rule(a, b);
            });
            calls = 0;
            std::vector<int> reference = input, scratch(n);
            auto recordingRule = [&](int a, int b) {
                expected.emplace_back(a, b);
                return rule(a, b);
            };
            copyingMergeSort(reference, scratch, 0, n - 1, recordingRule);
            ASSERT_EQ(seen, expected) << "n=" << n << " mode=" << mode;
            ASSERT_EQ(ours, reference) << "n=" << n << " mode=" << mode;
        }
    }
}

TEST(MergeSort, StableAndTotal) {
    // Pairs sorted by key only: equal keys keep their order.
    std::vector<std::pair<int, int>> items;
    for (int i = 0; i < 1000; ++i)
        items.emplace_back((i * 7919) % 13, i);
    mergeSort(items, [](const auto& a, const auto& b) { return a.first - b.first; });
    for (size_t i = 1; i < items.size(); ++i) {
        ASSERT_LE(items[i - 1].first, items[i].first);
        if (items[i - 1].first == items[i].first) {
            ASSERT_LT(items[i - 1].second, items[i].second);
        }
    }
    // Text order puts 10 before 9.
    std::vector<std::string> words = {"9", "10", "1"};
    mergeSort(words, [](const std::string& a, const std::string& b) { return a.compare(b); });
    EXPECT_EQ(words, (std::vector<std::string>{"1", "10", "9"}));
    // An inconsistent comparison still keeps every entry once.
    std::vector<int> v;
    for (int i = 0; i < 257; ++i)
        v.push_back(i);
    int calls = 0;
    mergeSort(v, [&](int, int) { return (calls++ % 3) - 1; });
    std::vector<int> sorted = v;
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < 257; ++i)
        ASSERT_EQ(sorted[size_t(i)], i);
    std::vector<int> none;
    mergeSort(none, [](int a, int b) { return a - b; });
    EXPECT_TRUE(none.empty());
}
