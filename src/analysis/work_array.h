#pragma once
// The run's float work arrays, and other arrays of the analysis, allocated
// unset: each is written whole before it is read.

#include "textio/unset_vector.h"

namespace orthaxis::analysis {

template <class T>
using UnsetVector = textio::UnsetVector<T>;
using WorkArray = UnsetVector<float>;

}  // namespace orthaxis::analysis
