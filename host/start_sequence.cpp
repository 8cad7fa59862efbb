#include "start_sequence.h"

#include "config.h"
#include "driver_deployment.h"
#include "hypervisor/host_cpuid.h"
#include "run_directory.h"
#include "ui/evaluation.h"
#include "ui/main_window.h"

void onStartWindowCreated(MainWindow& window) {
    appConfig.configPath = runDirectory() + "\\config.ini";
    appConfig.showWindow = readConfigValue(appConfig.configPath, "config", "showWindow", "1");
    if (hidesWindow(appConfig.showWindow)) window.setVisible(false);
    ProbeOutcome probe = deployDriver();
    window.showVerdicts(runVerdictEvaluation({readHostHypervisorFacts(), probe}));
}
