#include "platform/LockKeys.h"

#include <QGuiApplication>

#if defined(ORVANE_HAVE_XKB) && QT_CONFIG(xcb)

#include <QAbstractNativeEventFilter>
#include <QtGui/qguiapplication_platform.h>

// The extension's header names a structure member "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>
#include <cstring>

namespace {

// The names the keyboard extension gives the indicators, in the order of LockKeys::Key. The
// indicators are looked up by name: their positions differ from one keyboard map to another.
constexpr const char *kIndicatorNames[] = {"Caps Lock", "Num Lock", "Scroll Lock"};
constexpr int kIndicatorCount = 3;

template<typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

template<typename Reply> ReplyPtr<Reply> Own(Reply *reply)
{
    return ReplyPtr<Reply>(reply, &std::free);
}

} // namespace

class LockKeys::X11Indicators : public QAbstractNativeEventFilter
{
public:
    X11Indicators(LockKeys *owner, xcb_connection_t *connection)
        : m_owner(owner)
        , m_connection(connection)
    {
    }

    ~X11Indicators() override
    {
        if (m_filtering && QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    // Finds the indicators and asks to be told of their changes; false when the server has no
    // keyboard extension.
    bool Start()
    {
        const xcb_query_extension_reply_t *extension =
            xcb_get_extension_data(m_connection, &xcb_xkb_id);
        if (!extension || !extension->present)
            return false;
        m_firstEvent = extension->first_event;
        const auto use = Own(xcb_xkb_use_extension_reply(
            m_connection,
            xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
            nullptr));
        if (!use || !use->supported)
            return false;

        xcb_intern_atom_cookie_t cookies[kIndicatorCount];
        for (int i = 0; i < kIndicatorCount; ++i)
            cookies[i] = xcb_intern_atom(m_connection, 0, uint16_t(strlen(kIndicatorNames[i])),
                                         kIndicatorNames[i]);
        for (int i = 0; i < kIndicatorCount; ++i) {
            const auto atom = Own(xcb_intern_atom_reply(m_connection, cookies[i], nullptr));
            m_atoms[i] = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
        }

        // Only these events are chosen here; the toolkit's own choice of events stays as it is.
        const uint16_t events =
            XCB_XKB_EVENT_TYPE_INDICATOR_STATE_NOTIFY | XCB_XKB_EVENT_TYPE_INDICATOR_MAP_NOTIFY;
        const xcb_xkb_select_events_details_t details = {};
        xcb_xkb_select_events_aux(m_connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, events, 0, 0,
                                  &details);
        xcb_flush(m_connection);

        Read();
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
        return true;
    }

    bool isOn(Key key) const { return m_on[key]; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != m_firstEvent)
            return false;
        // Every event of the keyboard extension carries its kind in the second byte.
        const uint8_t kind =
            reinterpret_cast<const xcb_xkb_indicator_state_notify_event_t *>(event)->xkbType;
        if (kind == XCB_XKB_INDICATOR_STATE_NOTIFY || kind == XCB_XKB_INDICATOR_MAP_NOTIFY) {
            if (Read())
                emit m_owner->changed();
        }
        return false; // the toolkit sees the event as well
    }

private:
    // Reads every indicator's state; true when one of them changed.
    bool Read()
    {
        xcb_xkb_get_named_indicator_cookie_t cookies[kIndicatorCount];
        for (int i = 0; i < kIndicatorCount; ++i)
            cookies[i] = xcb_xkb_get_named_indicator(m_connection, XCB_XKB_ID_USE_CORE_KBD,
                                                     XCB_XKB_LED_CLASS_DFLT_XI_CLASS,
                                                     XCB_XKB_ID_DFLT_XI_ID, m_atoms[i]);
        bool changed = false;
        for (int i = 0; i < kIndicatorCount; ++i) {
            const auto reply =
                Own(xcb_xkb_get_named_indicator_reply(m_connection, cookies[i], nullptr));
            // An indicator the keyboard map does not name reads as off.
            const bool on = reply && reply->found && reply->on;
            changed |= on != m_on[i];
            m_on[i] = on;
        }
        return changed;
    }

    LockKeys *m_owner;
    xcb_connection_t *m_connection;
    uint8_t m_firstEvent = 0;
    xcb_atom_t m_atoms[kIndicatorCount] = {};
    bool m_on[kIndicatorCount] = {};
    bool m_filtering = false;
};

LockKeys::LockKeys(QObject *parent)
    : QObject(parent)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    auto indicators = std::make_unique<X11Indicators>(this, x11->connection());
    if (indicators->Start())
        m_x11 = std::move(indicators);
}

bool LockKeys::isOn(Key key) const
{
    return m_x11 && m_x11->isOn(key);
}

#else

class LockKeys::X11Indicators
{
};

LockKeys::LockKeys(QObject *parent)
    : QObject(parent)
{
}

bool LockKeys::isOn(Key) const
{
    return false;
}

#endif

LockKeys::~LockKeys() = default;

bool LockKeys::isKnown() const
{
    return m_x11 != nullptr;
}
