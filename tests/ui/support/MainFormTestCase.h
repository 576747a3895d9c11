#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "support/FakeDesktop.h"
#include "ui/CMainForm.h"

// A test case on a running main window: a fresh fake desktop before each
// test; after it the main window, the windows it deleted later, and the
// desktop are gone.
class MainFormTestCase : public QObject {
    Q_OBJECT

protected:
    // Starts the main window with these lines in the user's Options key;
    // false when it does not start and register its names.
    bool Start(const std::vector<std::string>& settings = {});

    // A test case's own set-up, after the desktop is made, and tear-down,
    // before the main window goes.
    virtual void SetUp() {}
    virtual void TearDown() {}

    std::unique_ptr<FakeDesktop> m_desktop;
    std::unique_ptr<CMainForm> m_main;

protected slots:
    // Run by QtTest; not test functions, since those are private slots.
    void initTestCase();
    void init();
    void cleanup();
};
