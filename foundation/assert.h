// Checks of indices and operand shapes that cost time on every access: active
// when OLVU_CHECKED is defined (sanitize and debug builds), nothing in release.
#pragma once

#include "foundation/threads.h"

#ifdef OLVU_CHECKED
#include "foundation/error.h"

/// Fatal report "Assertion (COND) failed at FILE:LINE: " then the streamed text, exit status 1.
#define OLVU_ASSERT(cond, text)                                                                   \
  do {                                                                                            \
    if (!(cond)) {                                                                                \
      std::ostream* olvu_asr_ = WriteError(__FILE__, __LINE__);                                   \
      *olvu_asr_ << "Assertion (" #cond ") failed at " << __FILE__ << ":" << __LINE__ << ": " << text \
                 << "\n";                                                                         \
      EndFatal(olvu_asr_);                                                                        \
    }                                                                                             \
  } while (0)
#else
/// Release builds: the condition is only named (never evaluated) and the text dropped.
#define OLVU_ASSERT(cond, text) static_cast<void>(sizeof(!(cond)))
#endif

/// Checked builds: fatal when entered inside a parallel region. For what keeps shared state
/// without a lock (`what` names it): a thread of a forked loop must never reach it.
#define OLVU_ASSERT_SERIAL(what) OLVU_ASSERT(!InParallelRegion(), what << " entered inside a parallel region")
