// The download speed as the window and orvelsync show it.
#pragma once

#include <QString>

// "--" for 0, else the speed in B/s, KB/s or MB/s (1024-based): whole bytes,
// one decimal below 100 of a larger unit ("512 B/s", "12.5 MB/s", "150 KB/s").
QString OrvelSpeedValue(quint64 uBytesPerSec);
