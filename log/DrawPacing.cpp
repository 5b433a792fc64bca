#include "DrawPacing.h"

#include <algorithm>

void DrawPacing::wanted(Clock now)
{
    if (m_wanted)
        return;
    m_wanted = true;
    m_wantedSinceMs = now.wallMs;
    // How busy the loop is is told afresh from here: not from before an idle spell.
    markFrame(now);
}

void DrawPacing::chartWorked(double ms)
{
    m_chartMsSinceDrawn += ms;
    m_chartMsSinceFrame += ms;
}

void DrawPacing::markFrame(Clock now)
{
    m_frame = now;
    m_chartMsSinceFrame = 0;
}

double DrawPacing::msUntilDrawing(Clock now)
{
    const Clock frame = m_frame;
    const double chartMsInFrame = m_chartMsSinceFrame;
    markFrame(now);
    if (!m_wanted)
        return Never;
    const double waitingMs = now.wallMs - m_wantedSinceMs;
    if (waitingMs >= SlowestFrameMs)
        return 0;
    double waitMs = m_frameMs / ShareOfWindow - (now.wallMs - m_drawn.wallMs);
    const double frameWallMs = now.wallMs - frame.wallMs;
    if (now.cpuMs >= 0 && frame.cpuMs >= 0 && m_drawn.cpuMs >= 0 && frameWallMs > 0) {
        const double loopShare =
            std::max(0.0, now.cpuMs - frame.cpuMs - chartMsInFrame) / frameWallMs;
        if (loopShare > BusyLoopShare) {
            const double loopMs = std::max(0.0, now.cpuMs - m_drawn.cpuMs - m_chartMsSinceDrawn);
            waitMs = std::max(waitMs, (m_frameMs / ShareOfLoop - loopMs) / loopShare);
        }
    }
    return std::clamp(waitMs, 0.0, SlowestFrameMs - waitingMs);
}

void DrawPacing::drawn(Clock now, double frameMs)
{
    m_wanted = false;
    m_frameMs = frameMs;
    m_drawn = now;
    m_chartMsSinceDrawn = 0;
    markFrame(now);
}
