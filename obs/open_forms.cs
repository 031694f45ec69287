// Closes the forms the logic assembly has open, as their Cancel button
// would, each on its own thread. The OBS Studio module calls it from a
// thread of its own when a source whose settings form is open goes away
// (OBS quits, or the user removes the source): the form's modal loop holds
// the module's core thread, which would otherwise wait for a user who has
// gone.
using System.Collections.Generic;
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
    }
}
