#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <vector>

// Where "Cerca Cliente..." opens: the frame rectangle of the window on a screen whose free area
// is `available`, beside a form whose frame is `formFrame` and whose fields are `fields`
// (screen coordinates). In order of preference: beside, below or above the form at the
// window's own size; else the largest place beside, below or above the fields that holds at
// least `minimum`, covering the form but none of its fields; else, when the screen has no such
// room, at the foot of the screen. The rectangle always lies wholly in `available` (at most
// its size).
QRect searchWindowPlace(const QRect& available, const QRect& formFrame,
                        const std::vector<QRect>& fields, const QSize& preferred,
                        const QSize& minimum);
