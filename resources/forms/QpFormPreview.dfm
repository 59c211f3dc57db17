object ZarvPreviewForm: TZarvPreviewForm
  Left = 0
  Top = 0
  Caption = 'Report Preview'
  ClientHeight = 404
  ClientWidth = 607
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Arial'
  Font.Style = []
  KeyPreview = True
  Menu = MainMenu1
  OldCreateOrder = False
  Position = poScreenCenter
  OnClose = FormClose
  OnKeyDown = FormKeyDown
  OnKeyPress = FormKeyPress
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 14
  object ToolBar1: TToolBar
    Left = 0
    Top = 0
    Width = 607
    Height = 29
    Images = ImageList1
    ParentShowHint = False
    ShowHint = True
    TabOrder = 0
    object tbOpen: TToolButton
      Left = 0
      Top = 0
      Action = actnFile_Open
    end
    object tbSave: TToolButton
      Left = 23
      Top = 0
      Action = actnFile_Save
    end
    object tbPrint: TToolButton
      Left = 46
      Top = 0
      Action = actnFile_Print
    end
    object tbSep1: TToolButton
      Left = 69
      Top = 0
      Width = 8
      Style = tbsSeparator
    end
    object tbFirst: TToolButton
      Left = 77
      Top = 0
      Action = actnPage_First
    end
    object tbPrevious: TToolButton
      Left = 100
      Top = 0
      Action = actnPage_Previous
    end
    object tbNext: TToolButton
      Left = 123
      Top = 0
      Action = actnPage_Next
    end
    object tbLast: TToolButton
      Left = 146
      Top = 0
      Action = actnPage_Last
    end
    object lPage: TLabel
      Left = 169
      Top = 0
      Width = 32
      Height = 22
      Alignment = taCenter
      AutoSize = False
      Caption = 'Page'
      Layout = tlCenter
    end
    object PageEdit: TEdit
      Left = 201
      Top = 0
      Width = 40
      Height = 22
      TabOrder = 0
      OnExit = PageEditExit
      OnKeyDown = FormKeyDown
      OnKeyPress = PageEditKeyPress
    end
    object PageLabel: TLabel
      Left = 241
      Top = 0
      Width = 50
      Height = 22
      Alignment = taCenter
      AutoSize = False
      Caption = 'of 3000'
      Layout = tlCenter
    end
    object tbSep2: TToolButton
      Left = 291
      Top = 0
      Width = 8
      Style = tbsSeparator
    end
    object tbZoomIn: TToolButton
      Left = 299
      Top = 0
      Action = actnZoom_In
    end
    object tbZoomOut: TToolButton
      Left = 322
      Top = 0
      Action = actnZoom_Out
    end
    object tbZoomPageWidth: TToolButton
      Left = 345
      Top = 0
      Action = actnZoom_PageWidth
    end
    object tbZoomPage: TToolButton
      Left = 368
      Top = 0
      Action = actnZoom_Page
    end
    object lZoom: TLabel
      Left = 391
      Top = 0
      Width = 34
      Height = 22
      Alignment = taCenter
      AutoSize = False
      Caption = 'Zoom'
      Layout = tlCenter
    end
    object ZoomEdit: TEdit
      Left = 425
      Top = 0
      Width = 44
      Height = 22
      TabOrder = 1
      Text = '100.0'
      OnExit = ZoomEditExit
      OnKeyDown = FormKeyDown
      OnKeyPress = ZoomEditKeyPress
    end
    object lPercent: TLabel
      Left = 469
      Top = 0
      Width = 14
      Height = 22
      Alignment = taCenter
      AutoSize = False
      Caption = '%'
      Layout = tlCenter
    end
    object tbSep3: TToolButton
      Left = 483
      Top = 0
      Width = 8
      Style = tbsSeparator
    end
    object tbExit: TToolButton
      Left = 491
      Top = 0
      Action = actnFile_Exit
    end
  end
  object ScrollBox1: TScrollBox
    Left = 0
    Top = 29
    Width = 607
    Height = 356
    Align = alClient
    Color = clGray
    ParentColor = False
    PopupMenu = PopupMenu1
    TabOrder = 1
  end
  object sbarMain: TStatusBar
    Left = 0
    Top = 385
    Width = 607
    Height = 19
    SimplePanel = True
  end
  object MainMenu1: TMainMenu
    object mnuFile: TMenuItem
      Caption = '&File'
      object mnuFileOpen: TMenuItem
        Action = actnFile_Open
      end
      object mnuFileSave: TMenuItem
        Action = actnFile_Save
      end
      object mnuFilePrint: TMenuItem
        Action = actnFile_Print
      end
      object N1: TMenuItem
        Caption = '-'
      end
      object mnuFileExit: TMenuItem
        Action = actnFile_Exit
      end
    end
    object mnuPage: TMenuItem
      Caption = '&Page'
      object mnuPageFirst: TMenuItem
        Action = actnPage_First
      end
      object mnuPagePrevious: TMenuItem
        Action = actnPage_Previous
      end
      object mnuPageNext: TMenuItem
        Action = actnPage_Next
      end
      object mnuPageLast: TMenuItem
        Action = actnPage_Last
      end
      object N2: TMenuItem
        Caption = '-'
      end
      object mnuPageGoto: TMenuItem
        Caption = '&Go to Page #'
        Hint = 'Go to specified page'
        ShortCut = 16455
        OnClick = mnuPageGotoClick
      end
    end
    object mnuZoom: TMenuItem
      Caption = '&Zoom'
      object mnuZoomIn: TMenuItem
        Action = actnZoom_In
      end
      object mnuZoomOut: TMenuItem
        Action = actnZoom_Out
      end
      object N3: TMenuItem
        Caption = '-'
      end
      object mnuZoomPage: TMenuItem
        Action = actnZoom_Page
      end
      object mnuZoomPageWidth: TMenuItem
        Action = actnZoom_PageWidth
      end
    end
  end
  object PopupMenu1: TPopupMenu
    object popZoomIn: TMenuItem
      Action = actnZoom_In
    end
    object popZoomOut: TMenuItem
      Action = actnZoom_Out
    end
  end
  object ActionList1: TActionList
    Images = ImageList1
    object actnFile_Open: TAction
      Category = 'File'
      Caption = '&Open'
      Hint = 'Open another report'
      ImageIndex = 0
      ShortCut = 16463
      OnExecute = actnFile_OpenExecute
      OnUpdate = ActionUpdate
    end
    object actnFile_Save: TAction
      Category = 'File'
      Caption = '&Save As'
      Hint = 'Save report'
      ImageIndex = 1
      ShortCut = 16467
      OnExecute = actnFile_SaveExecute
      OnUpdate = ActionUpdate
    end
    object actnFile_Print: TAction
      Category = 'File'
      Caption = '&Print'
      Hint = 'Print report'
      ImageIndex = 2
      ShortCut = 16464
      OnExecute = actnFile_PrintExecute
      OnUpdate = ActionUpdate
    end
    object actnFile_Exit: TAction
      Category = 'File'
      Caption = 'E&xit'
      Hint = 'Exit viewer'
      ImageIndex = 3
      OnExecute = actnFile_ExitExecute
      OnUpdate = ActionUpdate
    end
    object actnPage_First: TAction
      Category = 'Page'
      Caption = '&First'
      Hint = 'Move to first page'
      ImageIndex = 4
      ShortCut = 16420
      OnExecute = actnPage_FirstExecute
      OnUpdate = ActionUpdate
    end
    object actnPage_Previous: TAction
      Category = 'Page'
      Caption = '&Previous'
      Hint = 'Move to previous page'
      ImageIndex = 5
      ShortCut = 16417
      OnExecute = actnPage_PreviousExecute
      OnUpdate = ActionUpdate
    end
    object actnPage_Next: TAction
      Category = 'Page'
      Caption = '&Next'
      Hint = 'Move to next page'
      ImageIndex = 6
      ShortCut = 16418
      OnExecute = actnPage_NextExecute
      OnUpdate = ActionUpdate
    end
    object actnPage_Last: TAction
      Category = 'Page'
      Caption = '&Last'
      Hint = 'Move to last page'
      ImageIndex = 7
      ShortCut = 16419
      OnExecute = actnPage_LastExecute
      OnUpdate = ActionUpdate
    end
    object actnZoom_In: TAction
      Category = 'Zoom'
      Caption = 'Zoom &In'
      Hint = 'Zoom In (+)'
      ImageIndex = 8
      OnExecute = actnZoom_InExecute
      OnUpdate = ActionUpdate
    end
    object actnZoom_Out: TAction
      Category = 'Zoom'
      Caption = 'Zoom &Out'
      Hint = 'Zoom Out (-)'
      ImageIndex = 9
      OnExecute = actnZoom_OutExecute
      OnUpdate = ActionUpdate
    end
    object actnZoom_PageWidth: TAction
      Category = 'Zoom'
      Caption = 'Fit to Page &Width'
      Hint = 'Zoom to fit page width'
      ImageIndex = 10
      ShortCut = 16471
      OnExecute = actnZoom_PageWidthExecute
      OnUpdate = ActionUpdate
    end
    object actnZoom_Page: TAction
      Category = 'Zoom'
      Caption = 'Fit to &Page'
      Hint = 'Zoom to fit page'
      ImageIndex = 11
      ShortCut = 16454
      OnExecute = actnZoom_PageExecute
      OnUpdate = ActionUpdate
    end
    object actnHelp_About: TAction
      Category = 'Help'
      Caption = '&About'
      Hint = 'Displays about box'
    end
  end
  object ImageList1: TImageList
  end
  object dlogOpen: TOpenDialog
    DefaultExt = 'zsf'
    Filter = 'Zarv Snapshot Files (*.zsf)|*.zsf|All Files|*.*'
    FilterIndex = 3
    Options = [ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing]
    Title = 'Open File'
  end
  object dlogSave: TSaveDialog
    DefaultExt = 'zsf'
    Options = [ofOverwritePrompt, ofHideReadOnly, ofNoReadOnlyReturn, ofEnableSizing]
    Title = 'Save File'
  end
  object PreviewTimer: TTimer
    Interval = 100
    OnTimer = PreviewTimerTimer
  end
end
