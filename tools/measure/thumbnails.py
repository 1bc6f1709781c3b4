#!/usr/bin/env python3
"""Measures Pixamond's inline images on a folder of photographs.

Generates the album twice with the `pixamond` given, once with the default GIF inline images
and once with InLineFileExt=jpg, both at the same display box and pixel density 1, so that
both paths make images of the same pixel size. For every JPEG picture it compares each
inline image with a reference reduction of the original (Pillow's Lanczos filter, with the
EXIF orientation applied) and prints the file sizes and PSNR of both, then the totals.

With --palettes it instead compares the two ways GIF inline images of JPEG pictures get their
colours (InLinePalette=Dither and MedianCut) against a reference made in linear light
(`vipsthumbnail --linear`, forced to the inline image's size), with ffmpeg's PSNR and SSIM
filters, and prints both per picture and their means.

With --detail SIZE it also generates the album with DetailImageMaxSize=SIZE and prints the
weight of each detail page: the HTML file plus the picture it shows.

    tools/measure/thumbnails.py build/pixamond ALBUM [--box 100x100] [--detail 1600]
    tools/measure/thumbnails.py build/pixamond ALBUM --palettes [--box 100x100]
    tools/measure/thumbnails.py --mosaic OUT.jpg PHOTO... (a 5120x2880 test picture)

Run it with the python3 that has Pillow (Debian's /usr/bin/python3 with python3-pil).

Needs python3-pil, and for --palettes libvips-tools and ffmpeg (scripts/setup --packages bench).
"""
import argparse
import math
import pathlib
import re
import shutil
import subprocess
import tempfile

from PIL import Image, ImageOps

JPEG_SUFFIXES = {".jpg", ".jpeg", ".jpe"}


def psnr(a, b):
    a = a.convert("RGB")
    b = b.convert("RGB")
    assert a.size == b.size, (a.size, b.size)
    squared = 0
    count = 0
    for pa, pb in zip(a.getdata(), b.getdata()):
        for ca, cb in zip(pa, pb):
            squared += (ca - cb) ** 2
            count += 1
    mse = squared / count
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


def generate(pixamond, album, work, settings):
    site = work / "site"
    home = work / "home"
    shutil.copytree(album, site)
    home.mkdir()
    (home / "pixamond.ini").write_text(settings)
    subprocess.run([pixamond, "generate", str(site), "--home", str(home), "--name", "Measure",
                    "--quiet"], check=True)
    return site


def pictures(album):
    return sorted(p for p in album.rglob("*") if p.suffix.lower() in JPEG_SUFFIXES
                  and "inline" not in p.parts)


def compare_thumbnails(pixamond, album, box):
    width, height = box
    display = f"[Display]\nMaxDisplayWidth={width}\nMaxDisplayHeight={height}\n"
    with tempfile.TemporaryDirectory() as gif_dir, tempfile.TemporaryDirectory() as jpg_dir:
        gif_site = generate(pixamond, album, pathlib.Path(gif_dir), display)
        jpg_site = generate(pixamond, album, pathlib.Path(jpg_dir),
                            display + "[FileExtensions]\nInLineFileExt=jpg\n")
        totals = {"gif": 0, "jpg": 0, "gif_psnr": 0.0, "jpg_psnr": 0.0, "better": 0, "n": 0}
        print(f"{'picture':40} {'GIF bytes':>9} {'JPEG bytes':>10} {'GIF dB':>7} {'JPEG dB':>7}")
        for picture in pictures(album):
            relative = picture.relative_to(album)
            inline = relative.parent / "inline" / relative.stem
            gif_file = gif_site / inline.with_suffix(".gif")
            jpg_file = jpg_site / inline.with_suffix(".jpg")
            gif = Image.open(gif_file)
            jpg = Image.open(jpg_file)
            original = ImageOps.exif_transpose(Image.open(picture)).convert("RGB")
            reference = original.resize(gif.size, Image.LANCZOS)
            gif_db = psnr(gif, reference)
            jpg_db = psnr(jpg.resize(gif.size, Image.LANCZOS) if jpg.size != gif.size else jpg,
                          reference)
            gif_bytes = gif_file.stat().st_size
            jpg_bytes = jpg_file.stat().st_size
            print(f"{str(relative)[:40]:40} {gif_bytes:9} {jpg_bytes:10} {gif_db:7.2f} {jpg_db:7.2f}")
            totals["gif"] += gif_bytes
            totals["jpg"] += jpg_bytes
            totals["gif_psnr"] += gif_db
            totals["jpg_psnr"] += jpg_db
            totals["better"] += jpg_db > gif_db
            totals["n"] += 1
        n = max(1, totals["n"])
        print(f"{totals['n']} pictures at a {width}x{height} box: GIF {totals['gif']} bytes, "
              f"JPEG {totals['jpg']} bytes ({totals['jpg'] / max(1, totals['gif']):.2f} of GIF); "
              f"mean PSNR GIF {totals['gif_psnr'] / n:.2f} dB, JPEG {totals['jpg_psnr'] / n:.2f} dB "
              f"(+{(totals['jpg_psnr'] - totals['gif_psnr']) / n:.2f}); JPEG better in "
              f"{totals['better']} of {totals['n']}")


def psnr_and_ssim(image, reference):
    """ffmpeg's PSNR (dB) and SSIM (0 to 1) of `image` against `reference`, both in RGB."""
    result = subprocess.run(
        ["ffmpeg", "-hide_banner", "-nostats", "-i", str(image), "-i", str(reference),
         "-lavfi", "[0:v]format=rgb24,split[a0][a1];[1:v]format=rgb24,split[b0][b1];"
                   "[a0][b0]psnr;[a1][b1]ssim", "-f", "null", "-"],
        capture_output=True, text=True, check=True)
    psnr_db = re.search(r"PSNR .* average:(\S+)", result.stderr).group(1)
    ssim = re.search(r"SSIM .* All:(\S+)", result.stderr).group(1)
    return (99.0 if psnr_db == "inf" else float(psnr_db)), float(ssim)


def compare_palettes(pixamond, album, box):
    width, height = box
    display = f"[Display]\nMaxDisplayWidth={width}\nMaxDisplayHeight={height}\n"
    methods = ("Dither", "MedianCut")
    with tempfile.TemporaryDirectory() as work:
        work = pathlib.Path(work)
        sites = {m: generate(pixamond, album, work / m, display + f"InLinePalette={m}\n")
                 for m in methods}
        sums = {m: [0.0, 0.0, 0] for m in methods}
        print(f"{'picture':40} " + " ".join(f"{m + ' dB':>13} {m + ' SSIM':>14} {'bytes':>6}"
                                             for m in methods))
        pictures_seen = 0
        for picture in pictures(album):
            relative = picture.relative_to(album)
            inline = relative.parent / "inline" / (relative.stem + ".gif")
            size = Image.open(sites[methods[0]] / inline).size
            reference = work / "reference.png"
            subprocess.run(["vipsthumbnail", "--linear", "--size", f"{size[0]}x{size[1]}!",
                            "-o", str(reference), str(picture)], check=True)
            row = f"{str(relative)[:40]:40} "
            for m in methods:
                gif = sites[m] / inline
                db, ssim = psnr_and_ssim(gif, reference)
                sums[m][0] += db
                sums[m][1] += ssim
                sums[m][2] += gif.stat().st_size
                row += f"{db:13.2f} {ssim:14.4f} {gif.stat().st_size:6} "
            print(row)
            pictures_seen += 1
        n = max(1, pictures_seen)
        for m in methods:
            print(f"{m}: mean PSNR {sums[m][0] / n:.2f} dB, mean SSIM {sums[m][1] / n:.4f}, "
                  f"{sums[m][2]} bytes for {pictures_seen} pictures at a {width}x{height} box")


def detail_weights(pixamond, album, size):
    with tempfile.TemporaryDirectory() as work:
        site = generate(pixamond, album, pathlib.Path(work),
                        f"[Display]\nDetailImageMaxSize={size}\n")
        for picture in pictures(album):
            relative = picture.relative_to(album)
            page = site / relative.with_suffix(".html")
            image = site / relative.parent / "inline" / "detail" / (relative.stem + ".jpg")
            with Image.open(picture) as original:
                pixels = f"{original.width}x{original.height}"
            page_bytes = page.stat().st_size
            image_bytes = image.stat().st_size
            print(f"{str(relative)[:40]:40} {pixels:>11}: original {picture.stat().st_size} bytes; "
                  f"detail page {page_bytes} + {image_bytes} = {page_bytes + image_bytes} bytes")


def mosaic(out, photos):
    """A 5120x2880 picture: one photograph cut to that size, or four cut to 2560x1440."""
    if len(photos) == 1:
        ImageOps.fit(ImageOps.exif_transpose(Image.open(photos[0])).convert("RGB"),
                     (5120, 2880), Image.LANCZOS).save(out, quality=92)
        return
    canvas = Image.new("RGB", (5120, 2880))
    for i, photo in enumerate((photos * 4)[:4]):
        tile = ImageOps.fit(ImageOps.exif_transpose(Image.open(photo)).convert("RGB"),
                            (2560, 1440), Image.LANCZOS)
        canvas.paste(tile, ((i % 2) * 2560, (i // 2) * 1440))
    canvas.save(out, quality=92)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("pixamond", nargs="?")
    parser.add_argument("album", nargs="?", type=pathlib.Path)
    parser.add_argument("--box", default="100x100")
    parser.add_argument("--detail", type=int)
    parser.add_argument("--palettes", action="store_true")
    parser.add_argument("--mosaic", type=pathlib.Path)
    parser.add_argument("photos", nargs="*")
    args = parser.parse_args()
    if args.mosaic:
        photos = [p for p in [args.pixamond, args.album] if p] + args.photos
        mosaic(args.mosaic, [str(p) for p in photos])
        return
    box = tuple(int(side) for side in args.box.split("x"))
    if args.palettes:
        compare_palettes(args.pixamond, args.album, box)
        return
    compare_thumbnails(args.pixamond, args.album, box)
    if args.detail:
        detail_weights(args.pixamond, args.album, args.detail)


if __name__ == "__main__":
    main()
