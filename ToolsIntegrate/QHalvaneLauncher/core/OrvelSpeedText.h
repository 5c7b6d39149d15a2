// The download speed and amounts of data as the window and orvelsync show them.
#pragma once

#include <QString>

// "--" for 0, else the speed in B/s, KB/s or MB/s (1024-based): whole bytes,
// one decimal below 100 of a larger unit ("512 B/s", "12.5 MB/s", "150 KB/s").
QString OrvelSpeedValue(quint64 uBytesPerSec);

// An amount of data the same way, up to GB: "0 B", "512 B", "12.5 MB", "1.2 GB".
QString OrvelSizeValue(quint64 uBytes);
