// Ascending in-place sorts of int and double arrays (optionally carrying a
// companion array along), and binary and linear searches of such arrays.
#pragma once

/// Sorts a[first .. first+count-1] ascending; always 1.
int QSort(double* a, int first, int count);
/// Sorts a[first .. first+count-1] ascending; always 1.
int QSort(int* a, int first, int count);
/// Sorts keys[first .. first+count-1] ascending, moving companion entries with their keys; always 1.
int QSort(int* keys, double* companion, int first, int count);
/// Sorts keys[first .. first+count-1] ascending, moving companion entries with their keys; always 1.
int QSort(int* keys, int* companion, int first, int count);

/// Position of key in the ascending a[first .. last], or -1.
int BSearch(double key, const double* a, int first, int last);
/// Position of key in the ascending a[first .. last], or -1.
int BSearch(int key, const int* a, int first, int last);
/// First position of key in a[first .. last], or -1.
int LSearch(double key, const double* a, int first, int last);
/// First position of key in a[first .. last], or -1.
int LSearch(int key, const int* a, int first, int last);

/// qsort-style comparison of two ints: -1, 0 or 1.
int compare_int(const void* a, const void* b);
/// qsort-style comparison of two doubles: -1, 0 or 1 (0 when unordered).
int compare_real(const void* a, const void* b);
