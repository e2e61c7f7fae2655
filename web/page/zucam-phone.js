'use strict';
// The phone side of ZuCam in a browser: camera and microphone, encoded here,
// sent over one WebSocket as the stream protocol's own packets after a
// push-play of its own. The desktop relays it as if it were the app.

const TEXTS = {
  en: {
    start: 'Start', stop: 'Stop', front: 'Front camera', back: 'Back camera',
    idle: 'Not started', connecting: 'Connecting to the computer…', streaming: 'Streaming',
    reconnecting: 'Connection lost, trying again…',
    busy: 'Another phone is using ZuCam; trying again…',
    linkOld: 'This link is out of date. Open the new link that ZuCam shows on the computer.',
    stopped: 'Stopped', fps: ' fps',
    insecure: 'The camera needs a secure page: open the link exactly as ZuCam shows it ' +
      '(https://…, or http://localhost:… through the USB cable).',
    noWebCodecs: 'This browser cannot encode video (WebCodecs is missing). ' +
      'Use a recent Chrome, Edge or Safari, or the ZuCam app.',
    noH264: 'This browser cannot encode H.264 video. Use another browser or the ZuCam app.',
    noCamera: 'The camera or the microphone could not be opened: ',
    encoder: 'The video encoder stopped: ',
  },
  zh: {
    start: '开始', stop: '停止', front: '前置摄像头', back: '后置摄像头',
    idle: '未开始', connecting: '正在连接电脑…', streaming: '正在传输',
    reconnecting: '连接已断开，正在重试…',
    busy: '另一部手机正在使用 ZuCam，稍后重试…',
    linkOld: '此链接已失效。请打开电脑上 ZuCam 显示的新链接。',
    stopped: '已停止', fps: ' 帧/秒',
    insecure: '摄像头只能在安全页面中使用：请完全按照 ZuCam 显示的链接打开' +
      '（https://…，或经 USB 数据线的 http://localhost:…）。',
    noWebCodecs: '此浏览器不能编码视频（缺少 WebCodecs）。请使用较新的 Chrome、Edge 或 Safari，或使用 ZuCam 应用。',
    noH264: '此浏览器不能编码 H.264 视频。请换用其他浏览器或 ZuCam 应用。',
    noCamera: '无法打开摄像头或麦克风：',
    encoder: '视频编码器已停止：',
  },
};
const T = TEXTS[(navigator.language || 'en').toLowerCase().startsWith('zh') ? 'zh' : 'en'];

// Stream packet: type, expansion length, expansion words, payload length, payload.
const PACKET_VIDEO = 1;
const PACKET_AUDIO = 2;
const KEY_INTERVAL_US = 2000000;
const MAX_BUFFERED = 2 * 1024 * 1024;
const CLOSE_WRONG_SECRET = 4001;
const CLOSE_REFUSED = 4002;

const params = new URLSearchParams(location.search);
const TRACE = params.get('trace') === '1';
const $ = (id) => document.getElementById(id);

const s = {
  running: false, ws: null, streaming: false, linkDead: false, retryMs: 1000, retryTimer: 0,
  media: null, reader: null, encoder: null, encWidth: 0, encHeight: 0, needKey: true,
  lastKeyUs: -Infinity, audio: null, sent: 0, traced: 0, pingTimer: 0, fpsTimer: 0,
};

function setState(key) {
  $('state').textContent = T[key];
  document.body.dataset.state = key;
}
function setError(text) { $('error').textContent = text; }

function packet(type, words, payloadLength) {
  const headerLength = 12 + 4 * words.length;
  const buffer = new ArrayBuffer(headerLength + payloadLength);
  const view = new DataView(buffer);
  view.setUint32(0, type);
  view.setUint32(4, 4 * words.length);
  words.forEach((w, i) => view.setUint32(8 + 4 * i, w));
  view.setUint32(8 + 4 * words.length, payloadLength);
  return { buffer, payload: new Uint8Array(buffer, headerLength) };
}

async function problem() {
  if (!window.isSecureContext || !navigator.mediaDevices) return T.insecure;
  if (typeof VideoEncoder === 'undefined') return T.noWebCodecs;
  try {
    const r = await VideoEncoder.isConfigSupported(encoderConfig(1280, 720));
    if (!r.supported) return T.noH264;
  } catch (e) {
    return T.noH264;
  }
  return '';
}

function encoderConfig(width, height) {
  // Constrained baseline: level 3.1 holds 720p30, level 4.0 1080p30.
  return {
    codec: height > 720 ? 'avc1.42E028' : 'avc1.42E01F',
    width, height, framerate: 30, bitrate: height > 720 ? 6000000 : 3000000,
    latencyMode: 'realtime', avc: { format: 'annexb' },
  };
}

function ensureEncoder(width, height) {
  if (s.encoder && s.encoder.state === 'configured' && s.encWidth === width &&
      s.encHeight === height) return true;
  if (s.encoder && s.encoder.state !== 'closed') s.encoder.close();
  s.encoder = new VideoEncoder({
    output: sendVideo,
    error: (e) => { setError(T.encoder + e.message); s.encoder = null; },
  });
  s.encoder.configure(encoderConfig(width, height));
  s.encWidth = width;
  s.encHeight = height;
  s.needKey = true;
  return true;
}

function sendVideo(chunk) {
  if (!s.streaming || !s.ws) return;
  const p = packet(PACKET_VIDEO, [1, chunk.type === 'key' ? 1 : 0], chunk.byteLength);
  chunk.copyTo(p.payload);
  s.ws.send(p.buffer);
  s.sent++;
  // For the desktop's latency benchmark: when each picture left the page.
  if (TRACE) console.log('zucam-sent ' + (++s.traced) + ' ' +
    (performance.timeOrigin + performance.now()).toFixed(3));
}

function sendAudio(block) {
  if (!s.streaming || !s.ws || s.ws.bufferedAmount > MAX_BUFFERED) return;
  const p = packet(PACKET_AUDIO, [2, s.audio.context.sampleRate, 1, 16], block.byteLength);
  p.payload.set(new Uint8Array(block));
  s.ws.send(p.buffer);
}

function takeFrame(frame) {
  const busy = !s.streaming || s.ws.bufferedAmount > MAX_BUFFERED ||
    (s.encoder && s.encoder.encodeQueueSize > 2);
  if (busy) {
    // A dropped picture breaks the chain: start again from a key frame.
    if (s.streaming) s.needKey = true;
    frame.close();
    return;
  }
  const width = frame.displayWidth & ~1;
  const height = frame.displayHeight & ~1;
  try {
    ensureEncoder(width, height);
    const key = s.needKey || frame.timestamp - s.lastKeyUs >= KEY_INTERVAL_US ||
      frame.timestamp < s.lastKeyUs;
    if (key) { s.needKey = false; s.lastKeyUs = frame.timestamp; }
    s.encoder.encode(frame, { keyFrame: key });
  } catch (e) {
    setError(T.encoder + e.message);
  }
  frame.close();
}

async function readFrames(track) {
  if (typeof MediaStreamTrackProcessor !== 'undefined') {
    s.reader = new MediaStreamTrackProcessor({ track }).readable.getReader();
    for (;;) {
      const { value, done } = await s.reader.read();
      if (done || !s.running) { if (value) value.close(); return; }
      takeFrame(value);
    }
  }
  // Without a track processor: pictures from the preview as it shows them.
  const video = $('preview');
  const next = () => {
    if (!s.running) return;
    if (video.videoWidth > 0) takeFrame(new VideoFrame(video, { timestamp: performance.now() * 1000 }));
    video.requestVideoFrameCallback(next);
  };
  video.requestVideoFrameCallback(next);
}

async function startAudio(media) {
  if (media.getAudioTracks().length === 0) return;
  try {
    const context = new AudioContext({ sampleRate: 48000 });
    await context.audioWorklet.addModule('pcm-worklet.js');
    const source = context.createMediaStreamSource(media);
    const node = new AudioWorkletNode(context, 'pcm-worklet');
    const mute = context.createGain();
    mute.gain.value = 0;
    source.connect(node).connect(mute).connect(context.destination);
    node.port.onmessage = (e) => sendAudio(e.data);
    s.audio = { context, node };
    if (context.state === 'suspended') {
      document.addEventListener('click', () => context.resume(), { once: true });
    }
  } catch (e) {
    console.warn('no sound: ' + e.message);
  }
}

function connect() {
  if (!s.running || s.linkDead) return;
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const ws = new WebSocket(scheme + location.host + '/ws?k=' +
    encodeURIComponent(params.get('k') || ''));
  ws.binaryType = 'arraybuffer';
  s.ws = ws;
  setState('connecting');
  ws.onopen = () => {
    ws.send(JSON.stringify({ type: 0, data: { name: deviceName() } }));
  };
  ws.onmessage = (e) => {
    if (typeof e.data !== 'string') return;
    let m;
    try { m = JSON.parse(e.data); } catch (err) { return; }
    if (m && m.web === 'key') {
      s.needKey = true;
    } else if (m && m.type === 0 && m.data && typeof m.data.key === 'string') {
      s.streaming = true;
      s.needKey = true;
      s.retryMs = 1000;
      setError('');
      setState('streaming');
    }
  };
  ws.onclose = (e) => {
    if (s.ws !== ws) return;
    s.ws = null;
    s.streaming = false;
    if (!s.running) return;
    if (e.code === CLOSE_WRONG_SECRET) {
      s.linkDead = true;
      setState('linkOld');
      stop(false);
      setState('linkOld');
      return;
    }
    setState(e.code === CLOSE_REFUSED ? 'busy' : 'reconnecting');
    s.retryTimer = setTimeout(connect, s.retryMs);
    s.retryMs = Math.min(s.retryMs * 2, 5000);
  };
}

function deviceName() {
  const ua = navigator.userAgent;
  const model = /Android [^;]*; ([^;)]+)/.exec(ua);
  if (model) return model[1].trim();
  if (/iPhone/.test(ua)) return 'iPhone';
  return 'Browser';
}

async function start() {
  if (s.running) return;
  if (s.linkDead) { setState('linkOld'); return; }
  setError('');
  const why = await problem();
  if (why) { setError(why); return; }
  const height = $('size').value === '1080' ? 1080 : 720;
  const width = height === 1080 ? 1920 : 1280;
  try {
    s.media = await navigator.mediaDevices.getUserMedia({
      video: { facingMode: { ideal: $('camera').value }, width: { ideal: width },
        height: { ideal: height }, frameRate: { ideal: 30 } },
      audio: { channelCount: 1, sampleRate: 48000, autoGainControl: false, echoCancellation: false,
        noiseSuppression: false },
    });
  } catch (e) {
    setError(T.noCamera + e.message);
    return;
  }
  s.running = true;
  $('start').textContent = T.stop;
  $('start').className = 'stop';
  $('preview').srcObject = s.media;
  await startAudio(s.media);
  readFrames(s.media.getVideoTracks()[0]);
  s.pingTimer = setInterval(() => {
    if (s.ws && s.ws.readyState === WebSocket.OPEN) s.ws.send('{"type":-1}');
  }, 3000);
  s.fpsTimer = setInterval(() => {
    $('fps').textContent = s.streaming ? s.sent + T.fps : '';
    s.sent = 0;
  }, 1000);
  connect();
}

function stop(showStopped = true) {
  s.running = false;
  s.streaming = false;
  clearTimeout(s.retryTimer);
  clearInterval(s.pingTimer);
  clearInterval(s.fpsTimer);
  if (s.ws) { const ws = s.ws; s.ws = null; ws.close(1000); }
  if (s.reader) { s.reader.cancel().catch(() => {}); s.reader = null; }
  if (s.media) { s.media.getTracks().forEach((t) => t.stop()); s.media = null; }
  if (s.encoder && s.encoder.state !== 'closed') s.encoder.close();
  s.encoder = null;
  if (s.audio) { s.audio.context.close(); s.audio = null; }
  $('preview').srcObject = null;
  $('start').textContent = T.start;
  $('start').className = '';
  $('fps').textContent = '';
  if (showStopped) setState('stopped');
}

$('camera').options[0].textContent = T.front;
$('camera').options[1].textContent = T.back;
$('start').textContent = T.start;
// A fixed phone keeps its choices in its bookmark: &size=1080&camera=back.
if (params.get('size') === '1080') $('size').value = '1080';
if (params.get('camera') === 'back') $('camera').value = 'environment';
$('start').onclick = () => (s.running ? stop() : start());
setState('idle');
problem().then((why) => { if (why) setError(why); });
if (params.get('autostart') === '1') start();
