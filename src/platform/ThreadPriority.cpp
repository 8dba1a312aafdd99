#include "platform/ThreadPriority.h"

#include <sched.h>

namespace kdisk {

ScopedIdleThreadPriority::ScopedIdleThreadPriority() {
  const int policy = ::sched_getscheduler(0);
  // Real-time threads are someone's deliberate choice; left alone.
  if (policy != SCHED_OTHER && policy != SCHED_BATCH) return;
  sched_param parameters{};
  if (::sched_setscheduler(0, SCHED_IDLE, &parameters) == 0) m_previousPolicy = policy;
}

ScopedIdleThreadPriority::~ScopedIdleThreadPriority() {
  if (m_previousPolicy < 0) return;
  // The nice value survives the change of class, so it is restored with it.
  sched_param parameters{};
  ::sched_setscheduler(0, m_previousPolicy, &parameters);
}

}  // namespace kdisk
