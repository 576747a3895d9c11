# Precompiled headers: the standard library, Qt and GoogleTest headers most
# sources of a target include, parsed once per target instead of once per
# source. cmake/compiler-launcher.sh keeps them from defeating ccache.

set(CORVANE_PCH_STD <algorithm> <array> <atomic> <chrono> <cstddef> <cstdint> <cstring>
    <deque> <functional> <map> <memory> <mutex> <optional> <span> <string> <string_view>
    <thread> <utility> <vector>)
set(CORVANE_PCH_QT ${CORVANE_PCH_STD} <QApplication> <QCheckBox> <QColor> <QComboBox>
    <QEvent> <QHBoxLayout> <QHeaderView> <QIcon> <QKeyEvent> <QLabel> <QLineEdit> <QMenu>
    <QMessageBox> <QMouseEvent> <QObject> <QPainter> <QPointer> <QPushButton> <QScreen>
    <QString> <QStyle> <QTimer> <QToolButton> <QTreeWidget> <QVBoxLayout> <QWidget>)
set(CORVANE_PCH_QTEST ${CORVANE_PCH_QT} <QSignalSpy> <QtTest>)
set(CORVANE_PCH_GTEST ${CORVANE_PCH_STD} <gtest/gtest.h>)

# corvane_precompile(TARGET HEADER...): TARGET's sources start with HEADERs.
function(corvane_precompile target)
    if(CORVANE_PCH)
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()

# corvane_precompile_reuse(TARGET FROM): TARGET uses FROM's precompiled
# header; both must be compiled with the same definitions and options.
function(corvane_precompile_reuse target from)
    if(CORVANE_PCH)
        target_precompile_headers(${target} REUSE_FROM ${from})
    endif()
endfunction()
