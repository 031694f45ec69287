// SPDX-License-Identifier: GPL-2.0-or-later
// The logic assembly's one entry point: the plug-in calls Tavrel.Tavrel.Command
// with each command string of its outbound protocol and reads the integer it
// returns.
using System.Runtime.CompilerServices;

// The checks of the channel table and the settings parser look inside.
[assembly: InternalsVisibleTo("LogicChecks")]

namespace Tavrel
{
    public static class Tavrel
    {
        // Runs on the plug-in's calling thread and returns promptly: nothing
        // here waits for another thread, which may itself be waiting for the
        // host. Only "ShowForm:" has a result that the plug-in reads.
        public static int Command(string command)
        {
            if (command == null)
                return 0;
            Journal.Append(command);
            return CommandDispatcher.Dispatch(command);
        }
    }
}
