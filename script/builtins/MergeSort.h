#pragma once
// The stable merge sort behind Array.sort: top-down over an inclusive range,
// with one scratch buffer of n entries allocated for the whole sort; the
// two buffers take turns as source and destination level by level.

#include <cstddef>
#include <vector>

namespace quill {

namespace detail {

// Sorts [lo, hi] into `to`, reading `from`; both hold the same entries in
// that range on entry. The halves are sorted into `from` (with the roles
// swapped) and merged into `to`, so no level copies its range first. The
// comparisons made, and their order, are those of the plain top-down sort
// that copies each range to a scratch buffer before merging.
template <class List, class Compare>
void mergeSortRange(List& from, List& to, std::size_t lo, std::size_t hi, Compare& compare) {
    if (lo >= hi)
        return;
    // 1. Sort both halves of [lo, hi] into `from`.
    std::size_t mid = lo + (hi - lo) / 2;
    mergeSortRange(to, from, lo, mid, compare);
    mergeSortRange(to, from, mid + 1, hi, compare);
    // 2. Merge into `to`: the right entry goes first only when it compares
    //    strictly less, so equal entries keep their order.
    std::size_t left = lo, right = mid + 1, out = lo;
    while (left <= mid && right <= hi) {
        if (compare(from[left], from[right]) > 0)
            to[out++] = from[right++];
        else
            to[out++] = from[left++];
    }
    while (left <= mid)
        to[out++] = from[left++];
    while (right <= hi)
        to[out++] = from[right++];
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
    scratch = items;
    detail::mergeSortRange(scratch, items, 0, items.size() - 1, compare);
}

template <class T, class A, class Compare>
void mergeSort(std::vector<T, A>& items, Compare compare) {
    std::vector<T, A> scratch;
    mergeSort(items, scratch, compare);
}

} // namespace quill
