// SPDX-License-Identifier: GPL-2.0-or-later
// Checks of the reference logic assembly's own state, run with mono: how
// commands open channels, how "Set:" fills a channel's settings and how
// "ASCII" applies to the next "Set:" only, and (gift_checks.cs) how gifts
// are queued, read and recorded. Prints each failure; the exit
// code is the number of failures.
using System;
using Tavrel;
using Entry = Tavrel.Tavrel;

static partial class LogicChecks
{
    static int failures;

    static void Expect<T>(T actual, T expected, string what)
    {
        if (!Equals(actual, expected)) {
            ++failures;
            Console.Error.WriteLine("FAILED: {0}: got [{1}], expected [{2}]", what, actual, expected);
        }
    }

    const string DefaultSettings =
        "Set:1234{|}宋体{|}-28672{|}56{|}100{|}-16777216{|}0{|}0{|}0{|}0{|}0{|}0{|}0{|}100{|}-8355712{|}2{|}" +
        "{|}感谢$sender$赠送的$num$个$gift$ $combo${|}o(∩_∩)o 送礼物上电视啦o(∩_∩)o {|}10{|}10{|}1{|}0{|}0{|}{|}1{|}5" +
        "{|}1{|}1{|}3{|}10";

    static void SettingsFillTheChannelInFieldOrder()
    {
        Expect(Entry.Command("setPlatform:4"), 0, "setPlatform result");
        Expect(Entry.Command("init:1234"), 0, "init result");
        Expect(Entry.Command(DefaultSettings), 0, "Set result");
        Channel channel = ChannelTable.Get(1234);
        Expect(channel != null, true, "channel 1234 exists");
        if (channel == null)
            return;
        ChannelSettings settings = channel.Settings;
        Expect(channel.Platform, 4, "platform");
        Expect(settings.GetString("font", null), "宋体", "font");
        Expect(settings.GetInt("color", 0), -28672, "color");
        Expect(settings.GetInt("outlineColor", 0), -8355712, "outlineColor");
        Expect(settings.GetString("room_name", null), "", "room_name");
        Expect(settings.GetString("thanks_string", null), "感谢$sender$赠送的$num$个$gift$ $combo$", "thanks_string");
        Expect(settings.GetString("no_thanks_string", null), "o(∩_∩)o 送礼物上电视啦o(∩_∩)o ", "no_thanks_string");
        Expect(settings.GetString("save_folder", null), "", "save_folder");
        Expect(settings.GetInt("delay_show_second", 0), 5, "delay_show_second");
        Expect(settings.GetInt("answer_second", 0), 10, "answer_second (the last field)");
        Expect(channel.Ascii, false, "no ASCII before this Set");
    }

    static void AsciiAppliesToTheNextSettingsOnly()
    {
        Entry.Command("init:77");
        Entry.Command("ASCII");
        Entry.Command("Set:77{|}Arial");
        Expect(ChannelTable.Get(77).Ascii, true, "ASCII then Set");
        Expect(ChannelTable.Get(77).Settings.GetString("font", null), "Arial", "a short Set sets the keys it reaches");
        Expect(ChannelTable.Get(77).Settings.GetInt("fontSize", -5), -5, "keys it does not reach stay unset");
        Entry.Command("Set:77{|}Arial");
        Expect(ChannelTable.Get(77).Ascii, false, "Set without ASCII");
    }

    static void AValueHoldingTheSeparatorShiftsTheFields()
    {
        string[] values = DefaultSettings.Substring("Set:1234".Length).Split(new[] { "{|}" }, StringSplitOptions.None);
        values[16] = "room{|}extra";  // room_name, field 17
        Entry.Command("Set:55" + string.Join("{|}", values));
        ChannelSettings settings = ChannelTable.Get(55).Settings;
        Expect(settings.GetString("room_name", null), "room", "room_name up to the separator");
        Expect(settings.GetString("thanks_string", null), "extra", "the rest lands in the next key");
        Expect(settings.GetInt("answer_second", 0), 3, "the last key takes the second-to-last value");
    }

    static void AnnouncingAWindowAgainStartsItOver()
    {
        Entry.Command("init:88");
        Entry.Command("Set:88{|}Arial");
        Entry.Command("start:88");
        Expect(ChannelTable.Get(88).Running, true, "start");
        Entry.Command("stop:88");
        Expect(ChannelTable.Get(88).Running, false, "stop");
        Entry.Command("start:88");
        Entry.Command("quit");
        Expect(ChannelTable.Get(88).Running, false, "quit stops every channel");
        Entry.Command("setPlatform:9");
        Entry.Command("init:88");
        Expect(ChannelTable.Get(88).Settings.GetString("font", null), null, "fresh settings");
        Expect(ChannelTable.Get(88).Platform, 9, "platform of the new announcement");
    }

    static void UnknownOrMalformedCommandsChangeNothing()
    {
        foreach (string command in new[] { "Init:99", "init:99x", "init:", "start:abc", "ShowForm", "Set:x{|}Arial", "asciI", "init: 99" }) {
            Expect(Entry.Command(command), 0, "result of " + command);
        }
        Expect(ChannelTable.Get(99) == null, true, "no channel 99");
        Expect(Entry.Command("ShowForm:99"), 1, "ShowForm without a form: cancelled");
        Expect(Entry.Command(null), 0, "null command");
    }

    static int Main()
    {
        SettingsFillTheChannelInFieldOrder();
        AsciiAppliesToTheNextSettingsOnly();
        AValueHoldingTheSeparatorShiftsTheFields();
        AnnouncingAWindowAgainStartsItOver();
        UnknownOrMalformedCommandsChangeNothing();
        GiftChecks();
        Console.WriteLine(failures == 0 ? "logic checks passed" : failures + " logic checks failed");
        return failures;
    }
}
