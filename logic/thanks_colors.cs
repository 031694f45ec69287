// SPDX-License-Identifier: GPL-2.0-or-later
// The colour each thanks gets when the channel's "RandomColor" is on, sent
// to the plug-in as command 203 before the text. "RandomModeType" 0 draws a
// fresh colour every time: a random hue at high saturation and full
// brightness, so that no draw comes out dark or grey. 1 takes the next of a
// fixed palette of bright colours that read on a dark scene and, with the
// outline on, on a light one. Every colour is opaque (0xFFRRGGBB).
using System;

namespace Tavrel
{
    sealed class ThanksColors
    {
        public static readonly int[] Palette = {
            unchecked((int)0xFFFFD700),  // gold
            unchecked((int)0xFFFF6347),  // tomato
            unchecked((int)0xFF7CFC00),  // lawn green
            unchecked((int)0xFF00BFFF),  // deep sky blue
            unchecked((int)0xFFFF69B4),  // hot pink
            unchecked((int)0xFFFFA500),  // orange
            unchecked((int)0xFF40E0D0),  // turquoise
            unchecked((int)0xFFEE82EE),  // violet
        };

        readonly Random random = new Random();
        int next;

        public int Next(int mode)
        {
            if (mode == 1) {
                int colour = Palette[next];
                next = (next + 1) % Palette.Length;
                return colour;
            }
            return FromHue(random.NextDouble() * 360, 0.65 + 0.35 * random.NextDouble());
        }

        // An opaque colour of full brightness; `hue` in degrees.
        static int FromHue(double hue, double saturation)
        {
            double chroma = saturation;
            double x = chroma * (1 - Math.Abs(hue / 60 % 2 - 1));
            double r = 0, g = 0, b = 0;
            switch ((int)(hue / 60) % 6) {
            case 0: r = chroma; g = x; break;
            case 1: r = x; g = chroma; break;
            case 2: g = chroma; b = x; break;
            case 3: g = x; b = chroma; break;
            case 4: r = x; b = chroma; break;
            default: r = chroma; b = x; break;
            }
            double m = 1 - chroma;
            return unchecked((int)0xFF000000) | Channel(r + m) << 16 | Channel(g + m) << 8 | Channel(b + m);
        }

        static int Channel(double value)
        {
            return (int)Math.Round(Math.Max(0, Math.Min(1, value)) * 255);
        }
    }
}
