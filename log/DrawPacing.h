#pragma once

// When the chart draws the readings it has taken in. Drawing costs about the same whatever
// number of readings came, so it is spaced out by its cost: it may take a small share of the
// window's time, and while the reply loop keeps the window's thread busy (readings pour in),
// only a small share of what the loop itself has spent since the last drawing, so that the
// chart hardly slows the loop. Readings are drawn within SlowestFrameMs of their coming all the
// same. Times are in milliseconds: wall-clock time and the window thread's CPU time (negative
// where the system does not tell it, and then only the share of the window's time counts).
class DrawPacing {
public:
    static constexpr double SlowestFrameMs = 500;
    static constexpr double ShareOfWindow = 0.05;
    static constexpr double BusyLoopShare = 0.1; // the loop takes more of the thread's time
    static constexpr double ShareOfLoop = 0.01;
    static constexpr double Never = 1e300;

    struct Clock {
        double wallMs = 0;
        double cpuMs = -1;
    };

    // Something waits to be drawn (new readings, a new size) from `now` on.
    void wanted(Clock now);
    bool isWanted() const { return m_wanted; }
    // The chart did work of its own on the window's thread: handing rows over, painting.
    void chartWorked(double ms);
    // At a frame: how long to wait before drawing; 0 for now, Never when nothing waits.
    double msUntilDrawing(Clock now);
    // The lines were drawn (what was wanted is done); drawing them cost `frameMs` with their
    // last paint.
    void drawn(Clock now, double frameMs);
    void setFrameCost(double frameMs) { m_frameMs = frameMs; }

private:
    void markFrame(Clock now);

    bool m_wanted = false;
    double m_wantedSinceMs = 0;
    double m_frameMs = 0;
    Clock m_drawn{-1e300, -1}; // when the lines were last drawn
    double m_chartMsSinceDrawn = 0;
    Clock m_frame; // the last frame, to tell how busy the loop is now
    double m_chartMsSinceFrame = 0;
};
