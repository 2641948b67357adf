#include "app/VelmarApp.h"

#include "app/MainFrame.h"
#include "app/Views.h"
#include "config/Settings.h"
#include "device/LoadedLibrary.h"
#include "device/SystemLoad.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>

CVelmarApp::CVelmarApp(const QString &executableDir)
    : m_executableDir(executableDir)
{
}

CVelmarApp::~CVelmarApp() = default;

bool CVelmarApp::InitInstance(bool bindLibrary)
{
    if (bindLibrary) {
        DeviceLoadError error;
        const QString path = Settings::DeviceLibraryPath(
            m_executableDir, Settings::ReadDeviceLibrary(Settings::SettingsPath(m_executableDir)));
        if (!m_library.Load(path, &error)) {
            const QString text = LoadFailureText(DeviceTable::kNotLoaded);
            std::fprintf(stderr, "%s\n%s\n", qPrintable(text), qPrintable(error.text()));
            ShowFailure(nullptr, text, error.text());
            return false;
        }
        SetDeviceTable(m_library.Table());
        SetLoadedLibrary({m_library.FilePath(), m_library.IsSimulated()});
    } else {
        SetLoadedLibrary({}); // a stand-in table: nothing to tell
    }
    ApplySkin();
    RegisterStandardViews();

    m_frame = std::make_unique<CVL_MainFrame>(m_executableDir, &m_model);
    if (m_frame->OnCreate() != 0) {
        m_frame.reset();
        return false;
    }
    m_frame->showMaximized();
    return true;
}

int CVelmarApp::ExitInstance()
{
    m_frame.reset();
    return 0;
}

void CVelmarApp::EndWithoutQuestions()
{
    if (m_frame)
        m_frame->CloseWithoutQuestions();
    // A dialog or message box that is open returns as if cancelled.
    QCoreApplication::exit(0);
}

void CVelmarApp::ApplySkin()
{
    QFile skin(QDir(m_executableDir).filePath(QStringLiteral("Skin/NORMALBLUE.qss")));
    if (skin.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(skin.readAll()));
}
