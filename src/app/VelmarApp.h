#pragma once
// The application object: binds the device library, creates the main frame and shows it.

#include "device/DeviceLibrary.h"
#include "model/BoardModel.h"

#include <QString>
#include <memory>

class CVL_MainFrame;

class CVelmarApp
{
public:
    // `executableDir`: where the device library, the settings file and the skin are looked for.
    explicit CVelmarApp(const QString &executableDir);
    ~CVelmarApp();

    // Binds the device library (unless `bindLibrary` is false: the call table in place is
    // used), creates the main frame and shows it maximised. False when the program must end;
    // the user has then been told why.
    bool InitInstance(bool bindLibrary = true);
    int ExitInstance();
    // Ends in order without questions: the frame closes (the tool bar layout is stored) and
    // every event loop returns, so that ExitInstance unloads the device system.
    void EndWithoutQuestions();

    CVL_MainFrame *mainFrame() const { return m_frame.get(); }

private:
    void ApplySkin();

    QString m_executableDir;
    DeviceLibrary m_library;
    BoardModel m_model; // outlives the frame, which unloads the system through it
    std::unique_ptr<CVL_MainFrame> m_frame;
};
