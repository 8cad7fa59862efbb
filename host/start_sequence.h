#pragma once

class MainWindow;

// The created event of the main window: the host's whole run, before the
// window is first shown. Configuration, hiding, driver deployment, evaluation
// and display, in this order.
void onStartWindowCreated(MainWindow& window);
