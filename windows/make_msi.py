"""Makes the MSI that installs Quorvex.exe with wixl, reproducibly: the same
inputs give the same bytes at any time and in any folder.

wixl writes a random package code and the current time into the summary
information, and the cabinet records the files' modification times. The
files go in dated by SOURCE_DATE_EPOCH (or --date), and the summary's
package code (derived from the inputs) and times are set afterwards with
msibuild.

make_msi.py --wxs Quorvex.wxs --exe Quorvex.exe --icon icon.ico --date EPOCH -o Quorvex.msi
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import uuid

# Package codes of Quorvex's MSIs: name-based UUIDs in a namespace of its own.
PACKAGE_NAMESPACE = uuid.UUID("9d4a3f55-4e0c-5b8e-9a7e-2a6f0c1d9b31")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wxs", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--icon", required=True)
    parser.add_argument("--date", type=int, help="seconds since 1970 (else SOURCE_DATE_EPOCH)")
    parser.add_argument("-o", "--output", required=True)
    args = parser.parse_args()
    date = int(os.environ.get("SOURCE_DATE_EPOCH", args.date or 0))

    with tempfile.TemporaryDirectory() as folder:
        digest = hashlib.sha256()
        for source, name in ((args.wxs, "Quorvex.wxs"), (args.exe, "Quorvex.exe"),
                             (args.icon, "icon.ico")):
            target = os.path.join(folder, name)
            shutil.copyfile(source, target)
            os.utime(target, (date, date))
            with open(target, "rb") as stream:
                digest.update(name.encode() + b"\0" + stream.read())
        msi = os.path.join(folder, "Quorvex.msi")
        subprocess.run(["wixl", "-a", "x86", "-o", msi, "Quorvex.wxs"], cwd=folder, check=True,
                       stdout=subprocess.DEVNULL)

        summary = subprocess.run(["msiinfo", "export", msi, "_SummaryInformation"], check=True,
                                 capture_output=True, encoding="utf-8").stdout
        stamp = time.strftime("%Y/%m/%d %H:%M:%S", time.gmtime(date))
        package_code = "{%s}" % str(uuid.uuid5(PACKAGE_NAMESPACE, digest.hexdigest())).upper()
        lines = []
        for line in summary.splitlines():
            key, _, _ = line.partition("\t")
            if key == "9":
                line = "9\t" + package_code
            elif key in ("12", "13"):
                line = key + "\t" + stamp
            lines.append(line)
        table = os.path.join(folder, "_SummaryInformation.idt")
        with open(table, "w", encoding="utf-8", newline="\r\n") as stream:
            stream.write("\n".join(lines) + "\n")
        subprocess.run(["msibuild", msi, "-i", table], check=True)
        shutil.copyfile(msi, args.output)


if __name__ == "__main__":
    main()
