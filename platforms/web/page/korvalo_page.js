// The page around the emulator: the canvas, the console panel and the
// monitor's command line under it, the ROM set buttons, drops and the file
// button, downloads, full screen, the state slots (kept in the browser's
// IndexedDB) and input recordings. The emulator itself (korvalo.js,
// korvalo.wasm) calls in through Module.korvaloPage.
// With "?manual" in the address the page does not run frames by itself: the
// caller steps them through window.korvalo (tests, benchmark); "?set=FILE"
// starts on another of the page's sets.
'use strict';

var Module;

(function () {
    const romSets = [
        { file: 'KorvaloDemo1.tia', label: 'TIA-MC-1 demo' },
        { file: 'KorvaloAnalog.tia', label: 'Analog' },
        { file: 'KorvaloDemo2.tia', label: 'TIA-MC-2' },
        { file: 'KorvaloSelfTest.tia', label: 'Self-test' },
        { file: 'KorvaloSelfTest2.tia', label: 'Self-test 2' },
    ];
    // "?set=KorvaloSelfTest.tia" starts on another of the sets.
    const query = new URLSearchParams(location.search);
    const manual = query.has('manual');
    const firstSet = romSets.find((set) => set.file === query.get('set')) || romSets[0];
    const canvas = document.getElementById('screen');
    const stage = document.getElementById('stage');
    const context = canvas.getContext('2d', { alpha: false });
    const consolePanel = document.getElementById('console');
    const commandLine = document.getElementById('command');
    let consoleText = '';
    let image = null;
    let imagePointer = -1;
    let halted = false;
    let ready = false;
    let dropCount = 0;
    // The recording being made: its bytes so far, in a buffer that doubles.
    let recordingBytes = new Uint8Array(0);
    let recordingLength = 0;
    let pictureHashes = [];

    function print(text) {
        consoleText += text;
        consolePanel.textContent += text;
        consolePanel.scrollTop = consolePanel.scrollHeight;
    }

    // 1:1 in the page; in full screen the largest whole multiple that fits.
    function fit() {
        let scale = 1;
        if (document.fullscreenElement === stage) {
            scale = Math.max(1, Math.floor(Math.min(window.innerWidth / canvas.width,
                                                    window.innerHeight / canvas.height)));
        }
        canvas.style.width = canvas.width * scale + 'px';
        canvas.style.height = canvas.height * scale + 'px';
    }

    function call(name, ...args) {
        const types = args.map((a) => (typeof a === 'string' ? 'string' : 'number'));
        return Module.ccall(name, 'number', types, args);
    }

    function offer(name, blob) {
        const link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = name;
        document.body.appendChild(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    }

    const reason = (e) => (e && (e.message || e.name)) || String(e);

    // The state slots live in IndexedDB (database "korvalo", store "slots",
    // keyed by [set hash as 16 hex digits, slot]). The store's reads are
    // synchronous: the running set's slots are copied into slotBytes when the
    // set starts or changes, each write goes to the copy at once and on to
    // the database after.
    const database = new Promise((resolve, reject) => {
        const request = indexedDB.open('korvalo', 1);
        request.onupgradeneeded = () => request.result.createObjectStore('slots');
        request.onsuccess = () => resolve(request.result);
        request.onerror = () => reject(request.error);
    });
    let slotSet = null; // the set whose slots slotBytes holds
    let slotBytes = new Map();
    let slotsRead = false;

    function readSlots(set) {
        slotSet = set;
        slotBytes = new Map();
        slotsRead = false;
        database.then((db) => new Promise((resolve, reject) => {
            const found = new Map();
            const request = db.transaction('slots').objectStore('slots')
                .openCursor(IDBKeyRange.bound([set, 0], [set, 9]));
            request.onsuccess = () => {
                const cursor = request.result;
                if (!cursor) return resolve(found);
                found.set(cursor.key[1], cursor.value);
                cursor.continue();
            };
            request.onerror = () => reject(request.error);
        })).then((found) => {
            if (slotSet !== set) return;
            for (const [slot, bytes] of found) if (!slotBytes.has(slot)) slotBytes.set(slot, bytes);
            slotsRead = true;
        }, (e) => {
            if (slotSet !== set) return;
            slotsRead = true;
            print('Can\'t read the state slots from the browser\'s storage: ' + reason(e) + '\n');
        });
    }

    // The running set's slots, read when it is not the one in the copy.
    function syncSlots() {
        const set = Module.ccall('korvaloRomSetHash', 'string', [], []);
        if (set !== slotSet) readSlots(set);
    }

    const page = {
        print,
        size(width, height) {
            if (canvas.width !== width) canvas.width = width;
            if (canvas.height !== height) canvas.height = height;
            image = null;
            fit();
        },
        // The pixels are already in the canvas's byte order.
        paint(pointer, width, height) {
            if (!image || imagePointer !== pointer || image.width !== width ||
                image.height !== height || image.data.buffer !== Module.HEAPU8.buffer) {
                const bytes = new Uint8ClampedArray(Module.HEAPU8.buffer, pointer, width * height * 4);
                image = new ImageData(bytes, width, height);
                imagePointer = pointer;
            }
            context.putImageData(image, 0, 0);
        },
        savePng(name, pointer, width, height) {
            const bytes = new Uint8ClampedArray(Module.HEAPU8.slice(pointer, pointer + width * height * 4));
            const shot = document.createElement('canvas');
            shot.width = width;
            shot.height = height;
            shot.getContext('2d').putImageData(new ImageData(bytes, width, height), 0, 0);
            shot.toBlob((blob) => {
                if (!blob) {
                    // The browser could not encode it after all.
                    print('Can\'t save ' + name + '\n');
                    return;
                }
                offer(name, blob);
            }, 'image/png');
        },
        slotWrite(set, slot, bytes) {
            if (set === slotSet) slotBytes.set(slot, bytes);
            database.then((db) => new Promise((resolve, reject) => {
                const transaction = db.transaction('slots', 'readwrite');
                transaction.objectStore('slots').put(bytes, [set, slot]);
                transaction.oncomplete = resolve;
                transaction.onerror = transaction.onabort = () => reject(transaction.error);
            })).catch((e) => print('Can\'t keep slot ' + slot + ' in the browser\'s storage: ' +
                                   reason(e) + '\n'));
        },
        // The slot's length; -1 when empty, -2 while the slots are being read.
        slotSize(set, slot) {
            if (set !== slotSet) readSlots(set);
            if (slotBytes.has(slot)) return slotBytes.get(slot).length;
            return slotsRead ? -1 : -2;
        },
        slotCopy(set, slot, pointer) {
            Module.HEAPU8.set(slotBytes.get(slot), pointer);
        },
        recordingWrite(bytes) {
            if (recordingLength + bytes.length > recordingBytes.length) {
                const grown = new Uint8Array(Math.max(1 << 16, 2 * (recordingLength + bytes.length)));
                grown.set(recordingBytes.subarray(0, recordingLength));
                recordingBytes = grown;
            }
            recordingBytes.set(bytes, recordingLength);
            recordingLength += bytes.length;
        },
        pictureHash(hash) {
            pictureHashes.push(hash);
        },
        fullScreen(on) {
            const inFullScreen = document.fullscreenElement === stage;
            if (on && !inFullScreen) {
                stage.requestFullscreen().catch(() => call('korvaloFullScreenChanged', 0));
            } else if (!on && inFullScreen) {
                document.exitFullscreen().catch(() => {});
            }
        },
        // The command line has the focus: the keys are typed there, the game
        // gets none.
        typing: () => document.activeElement === commandLine,
        halt(message) {
            halted = true;
            if (message) document.title = 'Korvalo: stopped';
        },
    };

    document.addEventListener('fullscreenchange', () => {
        if (ready) call('korvaloFullScreenChanged', document.fullscreenElement === stage ? 1 : 0);
        fit();
    });
    window.addEventListener('resize', fit);

    async function fetchSet(file) {
        const path = '/roms/' + file;
        if (Module.FS.analyzePath(path).exists) return path;
        const response = await fetch('roms/' + file);
        if (!response.ok) throw new Error(file + ': ' + response.status + ' ' + response.statusText);
        Module.FS.writeFile(path, new Uint8Array(await response.arrayBuffer()));
        return path;
    }

    function start(path) {
        try {
            call('korvaloStart', path, manual ? 0 : 1);
        } catch (e) {
            if (e !== 'Korvalo halted') throw e;
        }
        if (!halted) syncSlots();
    }

    function markChosen(button) {
        for (const b of document.querySelectorAll('#sets button')) b.classList.toggle('chosen', b === button);
    }

    const later = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    let handOvers = Promise.resolve();

    // Every ROM set, a dropped file as well as one of the page's sets, goes to
    // the driver as a dropped file, one at a time and in the order asked for:
    // the driver holds one until its next frame, so each waits for the one
    // before to be taken. In its turn prepare() gives the path to hand over
    // (null: nothing to), and taken() follows once the driver has it.
    function handOver(prepare, taken) {
        handOvers = handOvers.then(async () => {
            while (!halted && call('korvaloDropPending')) await later(10);
            if (halted) return;
            const path = await prepare();
            if (path === null || halted) return;
            if (!call('korvaloStarted')) start(path);
            else if (!call('korvaloDrop', path)) return;
            taken();
            // Loaded at the next frame: then its slots are read.
            while (!halted && call('korvaloDropPending')) await later(10);
            if (!halted) syncSlots();
        }).catch((e) => print('ROM set not loaded: ' + ((e && e.message) || e) + '\n'));
    }

    function pick(set, button) {
        if (halted || !ready) return;
        const fetched = fetchSet(set.file).catch((e) => {
            print('Can\'t fetch ' + set.file + ': ' + e.message + '\n');
            return null;
        });
        handOver(() => fetched, () => markChosen(button));
        canvas.focus();
    }

    function removeDrops() {
        for (const old of Module.FS.readdir('/drops')) {
            if (old === '.' || old === '..') continue;
            for (const f of Module.FS.readdir('/drops/' + old)) {
                if (f !== '.' && f !== '..') Module.FS.unlink('/drops/' + old + '/' + f);
            }
            Module.FS.rmdir('/drops/' + old);
        }
    }

    // A dropped or chosen file goes to the module's file system, in a folder
    // of its own, and through the loader; one that cannot be read is handed
    // over all the same, under a name no file has, so that the loader says
    // "Can't open file!". It is read at once and stored in its turn, when the
    // files before it have been taken (theirs are removed then).
    function takeFile(file) {
        if (halted || !ready) return;
        const name = (file.name || 'dropped').replace(/\//g, '_');
        const folder = '/drops/' + ++dropCount;
        const reading = file.arrayBuffer().then((buffer) => new Uint8Array(buffer), () => null);
        handOver(async () => {
            const bytes = await reading;
            if (!bytes && !call('korvaloStarted')) {
                print('Can\'t open file!\n');
                return null;
            }
            try {
                removeDrops();
                Module.FS.mkdir(folder);
                if (bytes) Module.FS.writeFile(folder + '/' + name, bytes);
            } catch (e) {
                const why = e && e.errno !== undefined ? 'file system error ' + e.errno
                                                       : (e && e.message) || e;
                print('Can\'t store dropped file ' + name + ': ' + why + '\n');
                return null;
            }
            return folder + '/' + name;
        }, () => markChosen(null));
    }

    document.addEventListener('dragover', (event) => {
        event.preventDefault();
        document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    document.addEventListener('drop', (event) => {
        event.preventDefault();
        document.body.classList.remove('dragging');
        const files = event.dataTransfer && event.dataTransfer.files;
        if (files && files.length > 0) takeFile(files[0]);
    });
    document.getElementById('file').addEventListener('change', (event) => {
        const input = event.target;
        if (input.files.length > 0) takeFile(input.files[0]);
        input.value = '';
        canvas.focus();
    });

    function button(id, action) {
        document.getElementById(id).addEventListener('click', () => {
            if (ready && !halted && call('korvaloStarted')) action();
            canvas.focus();
        });
    }
    button('preset', () => call('korvaloNextPreset'));
    button('look', () => call('korvaloNextLook'));
    button('shot', () => call('korvaloScreenshot'));
    button('full', () => call('korvaloToggleFullScreen'));
    // The current slot's state, or the machine's saved now, as a download.
    button('download', () => {
        const from = call('korvaloStateForDownload');
        if (from < 0) return;
        const at = call('korvaloStateBytes');
        const bytes = Module.HEAPU8.slice(at, at + call('korvaloStateSize'));
        const set = Module.ccall('korvaloRomSetHash', 'string', [], []);
        offer(set + (from ? '-slot' + call('korvaloStateSlot') : '') + '.state', new Blob([bytes]));
    });
    // A state file, loaded between two frames as F4 loads a slot.
    document.getElementById('statefile').addEventListener('change', (event) => {
        const input = event.target;
        const file = input.files[0];
        input.value = '';
        canvas.focus();
        if (!file || !ready || halted || !call('korvaloStarted')) return;
        file.arrayBuffer().then((buffer) => {
            if (halted) return;
            if (buffer.byteLength > (1 << 20)) {
                print('Can\'t load state: not a Korvalo state\n');
                return;
            }
            Module.HEAPU8.set(new Uint8Array(buffer), call('korvaloStateBuffer', buffer.byteLength));
            call('korvaloLoadState');
        }, (e) => print('Can\'t load state: can\'t read ' + file.name + ': ' + reason(e) + '\n'));
    });

    // The first press records the game's inputs from here on; the second ends
    // the recording and offers it as a download.
    const recordButton = document.getElementById('record');
    button('record', () => {
        if (!call('korvaloRecording')) {
            recordingBytes = new Uint8Array(0);
            recordingLength = 0;
            if (call('korvaloStartRecording')) recordButton.textContent = 'Stop recording';
            return;
        }
        const name = Module.ccall('korvaloEndRecording', 'string', [], []);
        recordButton.textContent = 'Record';
        offer(name, new Blob([recordingBytes.subarray(0, recordingLength)]));
        recordingBytes = new Uint8Array(0);
        recordingLength = 0;
    });

    // Enter sends the line to the monitor, which echoes it when it reads it;
    // Esc goes back to the game.
    commandLine.addEventListener('keydown', (event) => {
        if (event.key === 'Enter') {
            event.preventDefault();
            if (ready && !halted && call('korvaloStarted')) {
                call('korvaloMonitorLine', commandLine.value);
            }
            commandLine.value = '';
        } else if (event.key === 'Escape') {
            event.preventDefault();
            canvas.focus();
        }
    });

    const nav = document.getElementById('sets');
    for (const set of romSets) {
        const b = document.createElement('button');
        b.textContent = set.label;
        b.title = set.file;
        b.addEventListener('click', () => pick(set, b));
        nav.appendChild(b);
        set.button = b;
    }

    // What the tests and the benchmark use.
    window.korvalo = {
        get ready() { return ready && call('korvaloStarted') === 1; },
        get halted() { return halted; },
        get slotsRead() { return slotsRead; },
        consoleText: () => consoleText,
        step: (frames) => call('korvaloStep', frames),
        run: (on) => call('korvaloRun', on ? 1 : 0),
        frames: () => call('korvaloFrames'),
        lockedToRefresh: () => call('korvaloLockedToRefresh'),
        refreshHz: () => call('korvaloRefreshHz'),
        preset: () => call('korvaloScalePreset'),
        look: () => call('korvaloScanlineMode'),
        // Each frame's picture hash (16 hex digits) from now on, or no longer;
        // pictureHashes() those gathered since it was turned on.
        hashPictures(on) {
            if (on) pictureHashes = [];
            call('korvaloHashPictures', on ? 1 : 0);
        },
        pictureHashes: () => pictureHashes,
        // Summed ms since the last reset: emulation, composition, hand-over
        // (of which conversion).
        frameTimes(reset) {
            const at = call('korvaloFrameTimes');
            const times = Module.HEAPF64.subarray(at / 8, at / 8 + 4);
            const frames = Module.HEAPU32[(at + 32) / 4];
            const result = { emulation: times[0], composition: times[1], handOver: times[2],
                             conversion: times[3], frames };
            if (reset) {
                times.fill(0);
                Module.HEAPU32[(at + 32) / 4] = 0;
            }
            return result;
        },
        canvasSize: () => [canvas.width, canvas.height],
        // The canvas's RGBA bytes, base64.
        canvasPixels() {
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            let text = '';
            for (let i = 0; i < data.length; i += 0x8000) {
                text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
            }
            return btoa(text);
        },
    };

    Module = {
        korvaloPage: page,
        print: (text) => print(text + '\n'),
        printErr: (text) => console.error(text),
        onRuntimeInitialized() {
            Module.FS.mkdir('/roms');
            Module.FS.mkdir('/drops');
            ready = true;
            pick(firstSet, firstSet.button);
        },
    };
})();
