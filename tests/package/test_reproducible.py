"""Builds the Debian package twice from two clean copies of the sources and
checks that the two .deb files are the same, byte for byte.

The copies hold the files git knows of (committed or not, so that work in
progress is tested too) and nothing else: no build folder, no ignored files,
no .git. The first is copied file by file, as a checkout has them; the second
is what `git archive` makes of the same state, unpacked, as a source tarball
has them. They lie in folders of different names and depths, are made at
different times, and are built one after the other into build folders of
different names, with different umasks, time zones, locales and homes.
Neither the build nor packing gets SOURCE_DATE_EPOCH: the package's date
comes from the sources themselves (the newest change log entry), so nothing
may depend on the time or on git.

Environment: QUORVEX_SOURCE_DIR (the sources), QUORVEX_BUILD_TYPE,
QUORVEX_VERSION.
"""

import hashlib
import os
import shutil
import subprocess
import tempfile
import time
import unittest

TIMEOUT = 900  # seconds for one configure, build or package step
JOBS = "2"


def run(args, **kwargs):
    result = subprocess.run(args, capture_output=True, timeout=TIMEOUT, stdin=subprocess.DEVNULL,
                            encoding="utf-8", errors="replace", **kwargs)
    if result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s\n%s" % (
            " ".join(args), result.returncode, result.stdout[-4000:], result.stderr[-4000:]))
    return result.stdout


def package_umask():
    """CPack writes the members of the .deb with the modes the umask leaves;
    `make package` packs with 022, as dpkg-buildpackage does."""
    os.umask(0o022)


def sha256(path):
    with open(path, "rb") as stream:
        return hashlib.sha256(stream.read()).hexdigest()


class ReproducibleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.source = os.environ.get("QUORVEX_SOURCE_DIR", "")
        cls.version = os.environ.get("QUORVEX_VERSION", "")
        cls.build_type = os.environ.get("QUORVEX_BUILD_TYPE", "") or "RelWithDebInfo"
        if not os.path.isfile(os.path.join(cls.source, "CMakeLists.txt")) or not cls.version:
            raise unittest.SkipTest("QUORVEX_SOURCE_DIR and QUORVEX_VERSION are not set")
        if shutil.which("git") is None or subprocess.run(
                ["git", "-C", cls.source, "rev-parse", "--is-inside-work-tree"],
                capture_output=True).returncode != 0:
            raise unittest.SkipTest("the sources are not a git work tree, so no clean copy")
        cls.folder = tempfile.mkdtemp(prefix="quorvex-reproducible-")
        cls.addClassCleanup(shutil.rmtree, cls.folder, True)

    def tracked_files(self):
        listing = run(["git", "-C", self.source, "ls-files", "-z", "--cached", "--others",
                       "--exclude-standard"])
        names = sorted({n for n in listing.split("\0") if n})
        # Files deleted in the work tree are gone from the sources too.
        return [n for n in names if os.path.isfile(os.path.join(self.source, n))]

    def copy_sources(self, target, names):
        for name in names:
            os.makedirs(os.path.join(target, os.path.dirname(name)), exist_ok=True)
            # Fresh modification times: the copy's own, not the sources'.
            shutil.copyfile(os.path.join(self.source, name), os.path.join(target, name))
            shutil.copymode(os.path.join(self.source, name), os.path.join(target, name))

    def archive_sources(self, target):
        """The work tree's state as `git archive` packs it, unpacked into
        `target`. The state is written as a tree with an index and object
        folder of the test's own, so the repository is left as it was."""
        git = os.path.join(self.folder, "git")
        os.makedirs(os.path.join(git, "objects"))
        objects = run(["git", "-C", self.source, "rev-parse", "--path-format=absolute",
                       "--git-path", "objects"]).strip()
        env = dict(os.environ, GIT_INDEX_FILE=os.path.join(git, "index"),
                   GIT_OBJECT_DIRECTORY=os.path.join(git, "objects"),
                   GIT_ALTERNATE_OBJECT_DIRECTORIES=objects)
        run(["git", "-C", self.source, "add", "--all"], env=env)
        tree = run(["git", "-C", self.source, "write-tree"], env=env).strip()
        tarball = os.path.join(git, "sources.tar")
        run(["git", "-C", self.source, "archive", "-o", tarball, tree], env=env)
        os.makedirs(target)
        run(["tar", "-xf", tarball, "-C", target])

    def build_package(self, tree, build_name, variation):
        """Configures, builds and packages; returns the .deb's path."""
        build = os.path.join(tree, build_name)
        home = os.path.join(tree, "..", "home")
        os.makedirs(home, exist_ok=True)
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("LC_", "CMAKE_", "CPACK_", "QUORVEX_", "MAKE"))}
        variation = dict(variation)
        umask = int(variation.pop("UMASK"), 8)
        env.update(variation, HOME=home)
        env.pop("SOURCE_DATE_EPOCH", None)

        def with_umask():
            os.umask(umask)

        steps = (["cmake", "-S", tree, "-B", build, "-DCMAKE_BUILD_TYPE=" + self.build_type,
                  "-DBUILD_TESTING=OFF", "-DQUORVEX_BENCHMARKS=OFF"],
                 ["cmake", "--build", build, "-j", JOBS],
                 ["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"),
                  "-B", os.path.join(build, "out")])
        for step in steps[:2]:
            run(step, env=env, cwd=tree, preexec_fn=with_umask)
        run(steps[2], env=env, cwd=build, preexec_fn=package_umask)
        deb = os.path.join(build, "out", "quorvex_%s_amd64.deb" % self.version)
        self.assertTrue(os.path.isfile(deb), os.listdir(os.path.join(build, "out")))
        return deb

    def test_two_builds_give_the_same_package(self):
        names = self.tracked_files()
        self.assertIn("CMakeLists.txt", names)
        checkout = os.path.join(self.folder, "a", "quorvex")
        self.copy_sources(checkout, names)
        first = self.build_package(
            checkout, "build",
            {"UMASK": "022", "TZ": "UTC", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        # The second copy is made a second later at least (the first build
        # takes longer anyway), so every file time differs.
        time.sleep(1.5)
        tarball = os.path.join(self.folder, "second-folder", "deeper", "quorvex-copy")
        self.archive_sources(tarball)
        second = self.build_package(
            tarball, "obj-x86_64-linux-gnu",
            {"UMASK": "002", "TZ": "Pacific/Kiritimati", "LANG": "C", "LC_ALL": "C"})
        sums = (sha256(first), sha256(second))
        print("\n%s  %s\n%s  %s" % (sums[0], first, sums[1], second))
        if sums[0] != sums[1]:
            self.fail("the two packages differ:\n" + self.explain(first, second))

    @staticmethod
    def explain(first, second):
        """diffoscope's account of the differences, or cmp's when it is
        missing."""
        if shutil.which("diffoscope"):
            command = ["diffoscope", "--no-progress", "--text", "-", "--max-text-report-size",
                       "200000", first, second]
        else:
            command = ["cmp", "-l", first, second]
        result = subprocess.run(command, capture_output=True, timeout=TIMEOUT,
                                stdin=subprocess.DEVNULL, encoding="utf-8", errors="replace")
        return result.stdout[-20000:] + result.stderr[-2000:]


if __name__ == "__main__":
    unittest.main(verbosity=2)
