#pragma once

#include <QFrame>

#include <cstdint>
#include <utility>
#include <vector>

class CvFormHost;
class QCheckBox;
class QPushButton;

// The LAN browser's settings popup: where to search, what to search for and
// whether only available entries are shown. OK writes the seven settings and
// saves them; clicking outside closes it without a change. The window reads
// the settings when it probes and removes rows, the search when it starts.
class FormBrowseLanSetting : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 200;

    // Deletes itself when closed.
    FormBrowseLanSetting(CvFormHost& main, QWidget* owner);

    // The check box of a setting (null for another identifier).
    QCheckBox* Box(int32_t id) const;
    QPushButton* OkButton() const { return m_ok; }
    void Accept();

private:
    CvFormHost& m_main;
    std::vector<std::pair<int32_t, QCheckBox*>> m_boxes;
    QPushButton* m_ok;
};
