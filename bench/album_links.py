"""The benchmarks' music folders: many files under their own names, in
albums of 20 and artists of 200 albums, each a hard link to one of four
seed files (a copy where the file system has no links), so that a large
library costs little disk."""
import os
import shutil


def link_albums(seeds, music, files, extension_of):
    """`files` files under `music`; file i links seeds/seed{i % 4}.EXT,
    where EXT is extension_of(i)."""
    for i in range(files):
        album = os.path.join(music, "Artist %d" % (i // 200), "Album %d" % (i // 20))
        os.makedirs(album, exist_ok=True)
        extension = extension_of(i)
        seed = os.path.join(seeds, "seed%d.%s" % (i % 4, extension))
        target = os.path.join(album, "%02d Song.%s" % (i % 20, extension))
        try:
            os.link(seed, target)
        except OSError:
            shutil.copy(seed, target)
