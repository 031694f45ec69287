// SPDX-License-Identifier: GPL-2.0-or-later
// Prints the class libraries that the given assemblies reference, directly
// or through each other, found in a class library folder (Mono's 4.5
// profile), mscorlib always among them: what a runtime carried beside the
// module must hold so that none of them is looked for on the machine.
//   mono assembly_closure.exe FOLDER ASSEMBLY...
// Exits 1, naming it, when a referenced assembly is not in FOLDER.
using System;
using System.Collections.Generic;
using System.IO;
using System.Reflection;

static class AssemblyClosure
{
    static int Main(string[] args)
    {
        if (args.Length < 2) {
            Console.Error.WriteLine("usage: assembly_closure.exe FOLDER ASSEMBLY...");
            return 2;
        }
        string folder = args[0];
        var found = new SortedSet<string>(StringComparer.Ordinal);
        var pending = new Queue<string>();
        pending.Enqueue(Path.Combine(folder, "mscorlib.dll"));
        for (int i = 1; i < args.Length; i++)
            pending.Enqueue(args[i]);
        bool complete = true;
        var given = new HashSet<string>(args);
        while (pending.Count > 0) {
            string file = pending.Dequeue();
            if (!found.Add(file))
                continue;
            foreach (AssemblyName reference in Assembly.ReflectionOnlyLoadFrom(file).GetReferencedAssemblies()) {
                string library = Path.Combine(folder, reference.Name + ".dll");
                if (File.Exists(library)) {
                    pending.Enqueue(library);
                } else {
                    Console.Error.WriteLine("assembly_closure: " + reference.FullName + ", which " + file +
                                            " references, is not in " + folder);
                    complete = false;
                }
            }
        }
        foreach (string file in found)
            if (!given.Contains(file))
                Console.WriteLine(file);
        return complete ? 0 : 1;
    }
}
