// SPDX-License-Identifier: GPL-2.0-or-later
// The settings forms of the OBS Studio module's sources, one at a time: the
// logic assembly shows a source's form in its modal loop on the module's
// core thread, so at most one source's form is opening or open. The module
// tells this helper whose turn it is (Opening, with the source's token) and
// when the form's call has returned (SettleClosedForms); a source that goes
// away asks for its own form to close (Close, with its token), from a thread
// of the runtime host's own, never the core thread, which the form's loop
// holds.
//
// A form is closed as its Cancel button closes it, by its own thread: the
// close is handed to that thread with BeginInvoke. The forms are found in
// Application.OpenForms under the collection's own lock, the one Mono's
// Windows Forms takes to add and remove forms. A form still loading when its
// source goes away (Windows Forms takes seconds to load the first time) is
// watched for and closed as soon as it shows.
//
// And takes a closed form's window off the screen: Mono 6.12's Windows Forms
// destroys a closed dialog's X window only when the thread that ran the
// dialog pumps its messages again, which the module's core thread, back in
// native code, never does; the window would stay on the desktop after OK or
// Cancel. The module calls SettleClosedForms on that thread when the logic
// assembly's form call returns.
using System;
using System.Collections.Generic;
using System.Runtime.CompilerServices;
using System.Threading;
using System.Windows.Forms;

namespace MorvikThanks
{
    public static class OpenForms
    {
        // What Close found.
        const int NoFormOfThatSource = 0;
        const int AskedToClose = 1;
        const int ClosesWhenShown = 2;

        // Asks every form whose turn it is to close.
        const int AnySource = 0;

        // How often a form still loading is looked for.
        const int WatchMilliseconds = 50;

        static readonly object gate = new object();
        // The source whose form's turn it is (0: none), and each turn's
        // number, so that a watcher knows when its turn is over.
        static int turnToken;
        static int turn;
        static bool closeAsked;

        // On the core thread, before the logic assembly's form call for the
        // source `token`: from now on Close(token) reaches its form.
        public static int Opening(int token)
        {
            lock (gate) {
                turnToken = token;
                turn++;
                closeAsked = false;
            }
            return 0;
        }

        // From any thread but the core thread: asks the form of the source
        // `token` (any source's with 0) to close, as Cancel does. Whether a
        // form of that source was asked to close, is not shown yet and is
        // closed as soon as it shows, or is not under way at all.
        public static int Close(int token)
        {
            int watchedTurn;
            lock (gate) {
                if (turnToken == 0 || (token != AnySource && token != turnToken))
                    return NoFormOfThatSource;
                bool watching = closeAsked;
                closeAsked = true;
                watchedTurn = turn;
                if (AskShownFormsToClose())
                    return AskedToClose;
                if (watching)
                    return ClosesWhenShown;
            }
            var watcher = new Thread(() => WatchUntilShown(watchedTurn));
            watcher.IsBackground = true;
            watcher.Name = "MorvikThanks form closer";
            watcher.Start();
            return ClosesWhenShown;
        }

        static void WatchUntilShown(int watchedTurn)
        {
            while (true) {
                Thread.Sleep(WatchMilliseconds);
                lock (gate) {
                    if (turn != watchedTurn || turnToken == 0 || AskShownFormsToClose())
                        return;
                }
            }
        }

        // Whether some form was shown and has been asked to close. Windows
        // Forms is not loaded here when the logic assembly has not loaded it
        // (no form yet, or a form script): no reason to load it now.
        static bool AskShownFormsToClose()
        {
            return WindowsFormsLoaded() && AskFormsToClose() > 0;
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        static int AskFormsToClose()
        {
            var shown = new List<Form>();
            FormCollection forms = Application.OpenForms;
            lock (forms) {
                foreach (Form form in forms)
                    if (!form.IsDisposed && form.IsHandleCreated)
                        shown.Add(form);
            }
            foreach (Form form in shown) {
                Form closing = form;
                try {
                    closing.BeginInvoke((MethodInvoker)delegate {
                        // Closed meanwhile by its own buttons.
                        if (closing.IsDisposed)
                            return;
                        closing.DialogResult = DialogResult.Cancel;
                        closing.Close();
                    });
                } catch (InvalidOperationException) {
                    // Its window went between the look and the call.
                }
            }
            return shown.Count;
        }

        static bool WindowsFormsLoaded()
        {
            foreach (var assembly in AppDomain.CurrentDomain.GetAssemblies())
                if (assembly.GetName().Name == "System.Windows.Forms")
                    return true;
            return false;
        }

        // On the core thread once the form's call has returned: its turn is
        // over, and what the closed forms left queued on this thread is
        // handled; 1 when it was, 0 when Windows Forms was never loaded
        // (nothing to settle, and no reason to load it now).
        public static int SettleClosedForms()
        {
            lock (gate) {
                turnToken = 0;
                turn++;
            }
            if (!WindowsFormsLoaded())
                return 0;
            PumpMessages();
            return 1;
        }

        // Out of line, so that Windows Forms is resolved only when loaded.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static void PumpMessages()
        {
            Application.DoEvents();
        }
    }
}
