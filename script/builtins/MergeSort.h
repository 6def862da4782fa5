#pragma once
// The stable merge sort behind Array.sort: top-down over an inclusive range,
// with one scratch buffer of n entries allocated for the whole sort.

#include <cstddef>
#include <vector>

namespace quill {

namespace detail {

template <class T, class Compare>
void mergeSortRange(std::vector<T>& items, std::vector<T>& scratch, std::size_t lo, std::size_t hi,
                    Compare& compare) {
    if (lo >= hi)
        return;
    // 1. Sort both halves of [lo, hi].
    std::size_t mid = lo + (hi - lo) / 2;
    mergeSortRange(items, scratch, lo, mid, compare);
    mergeSortRange(items, scratch, mid + 1, hi, compare);
    // 2. Copy the range to the scratch buffer.
    for (std::size_t i = lo; i <= hi; ++i)
        scratch[i] = items[i];
    // 3. Merge: the right entry goes first only when it compares strictly
    //    less, so equal entries keep their order.
    std::size_t left = lo, right = mid + 1, out = lo;
    while (left <= mid && right <= hi) {
        if (compare(scratch[left], scratch[right]) > 0)
            items[out++] = scratch[right++];
        else
            items[out++] = scratch[left++];
    }
    while (left <= mid)
        items[out++] = scratch[left++];
    while (right <= hi)
        items[out++] = scratch[right++];
}

} // namespace detail

// Sort items with compare(a, b) returning negative, zero or positive. The
// comparison may be inconsistent (a script function): the sort still ends and
// every entry stays in the list exactly once.
template <class T, class Compare>
void mergeSort(std::vector<T>& items, Compare compare) {
    if (items.size() < 2)
        return;
    std::vector<T> scratch(items.size());
    detail::mergeSortRange(items, scratch, 0, items.size() - 1, compare);
}

} // namespace quill
