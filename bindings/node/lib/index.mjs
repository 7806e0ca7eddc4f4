import textfile from './index.js';

export const {
  DEFAULT_PAGE_BYTES,
  Document,
  TextFileError,
  open,
  openAsync,
  saveText,
  saveTextAsync,
  version,
} = textfile;
export default textfile;
