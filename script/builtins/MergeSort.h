#pragma once
// The stable merge sort behind Array.sort: top-down over an inclusive range,
// with one scratch buffer of half the entries allocated for the whole sort.
// Each merge copies its left half to the scratch buffer and merges it with
// the right half back into the list; the right half's rest never moves.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace quill {

namespace detail {

// Sorts [lo, hi] of items: both halves in turn, then the merge. The right
// entry goes first only when it compares strictly less, so equal entries
// keep their order. Merging back into the list cannot overwrite a right
// entry not yet read: the output position never passes the right one.
template <class List, class Compare>
void mergeSortRange(List& items, List& scratch, std::size_t lo, std::size_t hi, Compare& compare) {
    if (lo >= hi)
        return;
    std::size_t mid = lo + (hi - lo) / 2;
    mergeSortRange(items, scratch, lo, mid, compare);
    mergeSortRange(items, scratch, mid + 1, hi, compare);
    std::size_t leftCount = mid + 1 - lo;
    std::copy(items.begin() + std::ptrdiff_t(lo), items.begin() + std::ptrdiff_t(mid + 1), scratch.begin());
    std::size_t left = 0, right = mid + 1, out = lo;
    while (left < leftCount && right <= hi) {
        if (compare(scratch[left], items[right]) > 0)
            items[out++] = items[right++];
        else
            items[out++] = scratch[left++];
    }
    while (left < leftCount)
        items[out++] = scratch[left++];
}

} // namespace detail

// Sort items with compare(a, b) returning negative, zero or positive. The
// comparison may be inconsistent (a script function): the sort still ends and
// every entry stays in the list exactly once.
// The caller may supply the scratch buffer (for example one the collector
// sees): while the sort runs, every entry is in items or in scratch.
template <class T, class A, class Compare>
void mergeSort(std::vector<T, A>& items, std::vector<T, A>& scratch, Compare compare) {
    if (items.size() < 2)
        return;
    scratch.resize((items.size() + 1) / 2);
    detail::mergeSortRange(items, scratch, 0, items.size() - 1, compare);
}

template <class T, class A, class Compare>
void mergeSort(std::vector<T, A>& items, Compare compare) {
    std::vector<T, A> scratch;
    mergeSort(items, scratch, compare);
}

} // namespace quill
