#include "observations.h"

#include <map>
#include <mutex>

namespace standin {

namespace {

struct Observed {
  std::mutex mutex;
  EngineConfig engine;
  int32_t view_width = 0;
  int32_t view_height = 0;
  std::map<unsigned int, WeftStandinOffer> offers;  // the latest of each message
};

Observed& TheObserved() {
  static Observed observed;
  return observed;
}

}  // namespace

void ObserveEngineCreate(const EngineConfig& config) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  observed.engine = config;
}

void ObserveViewSize(int32_t width, int32_t height) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  observed.view_width = width;
  observed.view_height = height;
}

void ObserveOffer(const WeftStandinOffer& offer) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  observed.offers[offer.message] = offer;
}

bool LatestOffer(unsigned int message, WeftStandinOffer* offer) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  const auto found = observed.offers.find(message);
  if (found == observed.offers.end() || offer == nullptr) {
    return false;
  }
  *offer = found->second;
  return true;
}

void FillObserved(WeftStandinObserved* out) {
  if (out == nullptr) {
    return;
  }
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  const EngineConfig& engine = observed.engine;
  out->argument_count = engine.argument_count;
  out->argument_array_null = engine.argument_array_null;
  out->entrypoint_name_null = !engine.entrypoint_name.has_value();
  out->option_a = engine.option_a;
  out->option_b = engine.option_b;
  out->option_c = engine.option_c;
  out->option_d = engine.option_d;
  out->option_flag = engine.option_flag;
  out->view_width = observed.view_width;
  out->view_height = observed.view_height;
}

const char* ObservedArgument(int32_t index) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  const std::vector<std::string>& arguments = observed.engine.arguments;
  if (index < 0 || static_cast<size_t>(index) >= arguments.size()) {
    return nullptr;
  }
  return arguments[index].c_str();
}

const wchar_t* ObservedPath(int32_t which) {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  if (which < 0 || which >= kBundlePathCount || !observed.engine.paths[which]) {
    return nullptr;
  }
  return observed.engine.paths[which]->c_str();
}

void ResetObservations() {
  Observed& observed = TheObserved();
  std::lock_guard<std::mutex> hold(observed.mutex);
  observed.engine = EngineConfig();
  observed.view_width = 0;
  observed.view_height = 0;
  observed.offers.clear();
}

}  // namespace standin
