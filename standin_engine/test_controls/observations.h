// What the latest engine and view controller creations received, for the test controls.
#ifndef STANDIN_ENGINE_OBSERVATIONS_H_
#define STANDIN_ENGINE_OBSERVATIONS_H_

#include <cstdint>

#include "engine_config.h"
#include "weft_standin_test_controls.h"

namespace standin {

void ObserveEngineCreate(const EngineConfig& config);
void ObserveViewSize(int32_t width, int32_t height);
void ObserveOffer(const WeftStandinOffer& offer);
bool LatestOffer(unsigned int message, WeftStandinOffer* offer);
void FillObserved(WeftStandinObserved* observed);
// Valid until the next engine creation or reset; null when out of range or not passed.
const char* ObservedArgument(int32_t index);
const wchar_t* ObservedPath(int32_t which);
void ResetObservations();

}  // namespace standin

#endif  // STANDIN_ENGINE_OBSERVATIONS_H_
