#pragma once

#include <memory>
#include <string>
#include <vector>

class CMainForm;
class FakeDesktop;

// Writes the settings (lines of the user's Options key), starts the main
// window on the fake desktop and waits until it ran its start-up and its
// names are registered. Null when that does not happen within 10 s.
std::unique_ptr<CMainForm> StartMainForm(FakeDesktop& desktop,
                                         const std::vector<std::string>& settings);
