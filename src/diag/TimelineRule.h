#pragma once
// When the change log's timeline strip is drawn again. It shows the last `spanUs` up to now,
// `widthPx` pixels wide; it was last drawn for the time `paintedUs`. It moves only while
// recording, only once a pixel's worth of time has passed, and only while a change lies in the
// span it shows or in the span it showed (the newest change is all that has to be known).
// QtCore only.

#include <QtGlobal>

inline bool TimelineNeedsRepaint(bool paused, qint64 nowUs, qint64 paintedUs, qint64 spanUs,
                                 int widthPx, qint64 newestChangeUs)
{
    if (paused || widthPx <= 0 || spanUs <= 0 || newestChangeUs < 0)
        return false;
    if (newestChangeUs < paintedUs - spanUs)
        return false;
    return (nowUs - paintedUs) * widthPx >= spanUs;
}

// The zoom steps of the timeline, in seconds; 10 s is where it starts.
constexpr int kTimelineSpans[] = {1, 2, 5, 10, 20, 30, 60};
constexpr int kDefaultTimelineSpan = 3; // index of 10 s
