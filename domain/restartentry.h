// What the restart readers of a domain and of its sets share: the length an entry must give,
// and the notice for an entry the file lacks.
#pragma once

#include <string>

class Input;

/// The length that restart entry `entry` of `owner` (the domain's name; a set's entry names the
/// set too) gives after `lenWord` on the current line. Ends the run with the reader's message,
/// the entry, the owner and both counts, unless it is `expected` (when expected is 0: any length
/// of 0 or more).
int RestartEntryLength(Input* in, const char* owner, const std::string& entry, unsigned expected,
                       const char* lenWord = "len");

/// The notice that the restart file holds no entry `key` of `owner`, saying what the run does
/// `instead`; `older` when an older program did not write the entry.
void AbsentRestartNotice(const char* owner, const std::string& key, const char* instead, bool older);

/// The notice that the restart file holds no entry `key` of `owner` (an older file), saying what
/// the run does `instead`.
void OlderRestartNotice(const char* owner, const char* key, const char* instead);
