// Closes the forms the logic assembly has open, as their Cancel button
// would, each on its own thread. The OBS Studio module calls it from a
// thread of its own when a source whose settings form is open goes away
// (OBS quits, or the user removes the source): the form's modal loop holds
// the module's core thread, which would otherwise wait for a user who has
// gone.
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
using System.Windows.Forms;

namespace MorvikThanks
{
    public static class OpenForms
    {
        // How many forms were asked to close.
        public static int CloseAll()
        {
            var forms = new List<Form>();
            foreach (Form form in Application.OpenForms)
                forms.Add(form);
            int asked = 0;
            foreach (Form form in forms) {
                if (form.IsDisposed || !form.IsHandleCreated)
                    continue;
                Form closing = form;
                closing.BeginInvoke((MethodInvoker)delegate {
                    closing.DialogResult = DialogResult.Cancel;
                    closing.Close();
                });
                asked++;
            }
            return asked;
        }

        // Handles what the closed forms left queued on this thread; 1 when
        // it did, 0 when Windows Forms was never loaded (nothing to settle,
        // and no reason to load it now).
        public static int SettleClosedForms()
        {
            foreach (var assembly in AppDomain.CurrentDomain.GetAssemblies()) {
                if (assembly.GetName().Name == "System.Windows.Forms") {
                    PumpMessages();
                    return 1;
                }
            }
            return 0;
        }

        // Out of line, so that Windows Forms is resolved only when loaded.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static void PumpMessages()
        {
            Application.DoEvents();
        }
    }
}
