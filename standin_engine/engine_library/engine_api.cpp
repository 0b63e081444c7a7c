// The engine, view controller, view and system functions of the engine library interface.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "call_ledger.h"
#include "diagnostic_stream.h"
#include "engine.h"
#include "monitor_dpi.h"
#include "observations.h"
#include "test_switches.h"
#include "view_controller.h"
#include "weft_windows.h"

using standin::CountCall;
using standin::Engine;
using standin::ViewController;

namespace {

constexpr char kNoParamsLine[] = "Stand-in engine: engine creation without parameters refused.";
constexpr char kEngineTakenLine[] =
    "Stand-in engine: the engine belongs to a view controller already.";

}  // namespace

WeftDesktopEngineRef WeftDesktopEngineCreate(const EngineCreateParams* params) {
  CountCall(kWeftStandinEngineCreate);
  if (params == nullptr) {
    standin::WriteDiagnosticLine(kNoParamsLine);
    return nullptr;
  }
  standin::EngineConfig config = standin::CopyEngineParams(*params);
  standin::ObserveEngineCreate(config);
  if (standin::IsFailing(kWeftStandinEngineCreate)) {
    return nullptr;
  }
  std::unique_ptr<Engine> engine = Engine::Start(std::move(config));
  return engine ? engine.release()->Handle() : nullptr;
}

bool WeftDesktopEngineDestroy(WeftDesktopEngineRef engine) {
  CountCall(kWeftStandinEngineDestroy);
  if (engine == nullptr) {
    return false;
  }
  if (Engine::FromHandle(engine)->handed_over()) {
    standin::WriteDiagnosticLine(kEngineTakenLine);
    return false;
  }
  delete Engine::FromHandle(engine);
  return true;
}

WeftDesktopMessengerRef WeftDesktopEngineGetMessenger(WeftDesktopEngineRef engine) {
  CountCall(kWeftStandinEngineGetMessenger);
  if (engine == nullptr) {
    return nullptr;
  }
  return Engine::FromHandle(engine)->messenger().Handle();
}

WeftDesktopPluginRegistrarRef WeftDesktopEngineGetPluginRegistrar(WeftDesktopEngineRef engine,
                                                                  const char* plugin_name) {
  CountCall(kWeftStandinEngineGetPluginRegistrar);
  if (engine == nullptr || plugin_name == nullptr) {
    return nullptr;
  }
  return Engine::FromHandle(engine)->FindPluginRegistrar(plugin_name);
}

void WeftDesktopEngineReloadSystemFonts(WeftDesktopEngineRef engine) {
  CountCall(kWeftStandinEngineReloadSystemFonts);
  if (engine != nullptr) {
    Engine::FromHandle(engine)->app().OnFontsChanged();
  }
}

void WeftDesktopEngineSetNextFrameCallback(WeftDesktopEngineRef engine, NextFrameFn callback,
                                           void* user_data) {
  CountCall(kWeftStandinEngineSetNextFrameCallback);
  if (engine != nullptr) {
    Engine::FromHandle(engine)->SetNextFrameCallback({callback, user_data});
  }
}

WeftDesktopViewControllerRef WeftDesktopViewControllerCreate(int32_t width, int32_t height,
                                                             WeftDesktopEngineRef engine) {
  CountCall(kWeftStandinViewControllerCreate);
  standin::ObserveViewSize(width, height);
  if (engine == nullptr) {
    return nullptr;
  }
  if (Engine::FromHandle(engine)->handed_over()) {
    standin::WriteDiagnosticLine(kEngineTakenLine);
    return nullptr;
  }
  // Taken over also when creation fails: then it ends here.
  std::unique_ptr<Engine> owned(Engine::FromHandle(engine));
  if (standin::IsFailing(kWeftStandinViewControllerCreate)) {
    return nullptr;
  }
  std::unique_ptr<ViewController> controller =
      ViewController::Create(std::max(width, 0), std::max(height, 0), std::move(owned));
  return controller ? controller.release()->Handle() : nullptr;
}

void WeftDesktopViewControllerDestroy(WeftDesktopViewControllerRef controller) {
  CountCall(kWeftStandinViewControllerDestroy);
  delete ViewController::FromHandle(controller);
}

WeftDesktopViewRef WeftDesktopViewControllerGetView(WeftDesktopViewControllerRef controller) {
  CountCall(kWeftStandinViewControllerGetView);
  if (controller == nullptr) {
    return nullptr;
  }
  return ViewController::FromHandle(controller)->ViewHandle();
}

void WeftDesktopViewControllerForceRedraw(WeftDesktopViewControllerRef controller) {
  CountCall(kWeftStandinViewControllerForceRedraw);
  if (controller != nullptr) {
    ViewController::FromHandle(controller)->ForceRedraw();
  }
}

bool WeftDesktopViewControllerHandleTopLevelWindowProc(WeftDesktopViewControllerRef controller,
                                                       WeftDesktopWindowHandle window,
                                                       WeftDesktopWindowMessage message,
                                                       WeftDesktopWParam wparam,
                                                       WeftDesktopLParam lparam,
                                                       WeftDesktopLResult* result) {
  CountCall(kWeftStandinViewControllerHandleTopLevelWindowProc);
  standin::ObserveOffer(WeftStandinOffer{window, message, wparam, lparam});
  if (controller == nullptr || message == 0) {
    return false;
  }
  const standin::DeclinedMessage declined = standin::CurrentDeclinedMessage();
  if (declined.message == message && result != nullptr) {
    *result = declined.written;
  }
  const standin::ConsumedMessage consumed = standin::CurrentConsumedMessage();
  if (consumed.message != message) {
    return false;
  }
  if (result != nullptr) {
    *result = consumed.result;
  }
  return true;
}

WeftDesktopWindowHandle WeftDesktopViewGetHWND(WeftDesktopViewRef view) {
  CountCall(kWeftStandinViewGetHWND);
  if (view == nullptr) {
    return nullptr;
  }
  return ViewController::ViewFromHandle(view)->Handle();
}

uint32_t WeftDesktopGetDpiForMonitor(WeftDesktopMonitorHandle monitor) {
  CountCall(kWeftStandinGetDpiForMonitor);
  return standin::MonitorDpi(monitor);
}

void WeftDesktopResyncOutputStreams(void) {
  CountCall(kWeftStandinResyncOutputStreams);
  standin::ResyncDiagnosticStream();
}
