object fProbe: TfProbe
  Left = 100
  Top = 80
  BorderStyle = bsDialog
  Caption = 'Probe window'
  ClientHeight = 320
  ClientWidth = 420
  Color = -16777201
  Font.Charset = 1
  Font.Color = -16777208
  Font.Height = -11
  Font.Name = 'Tahoma'
  Font.Style = []
  KeyPreview = True
  OldCreateOrder = False
  Position = poScreenCenter
  OnClose = FormClose
  OnCreate = FormCreate
  OnKeyDown = FormKeyDown
  OnShow = FormShow
  PixelsPerInch = 96
  TextHeight = 13
  object lName: TLabel
    Left = 8
    Top = 12
    Width = 28
    Height = 13
    Caption = '&Name'
    FocusControl = eName
  end
  object eName: TEdit
    Left = 60
    Top = 8
    Width = 121
    Height = 21
    TabOrder = 1
    Text = '10'
    OnChange = eNameChange
    OnExit = eNameExit
  end
  object bGo: TButton
    Left = 200
    Top = 6
    Width = 75
    Height = 25
    Caption = 'Go'
    Default = True
    TabOrder = 0
    OnClick = bGoClick
  end
  object bOk: TButton
    Left = 256
    Top = 288
    Width = 75
    Height = 25
    Caption = 'OK'
    ModalResult = 1
    TabOrder = 2
  end
  object bCancel: TButton
    Left = 336
    Top = 288
    Width = 75
    Height = 25
    Cancel = True
    Caption = 'Cancel'
    ModalResult = 2
    TabOrder = 3
  end
  object cFlag: TCheckBox
    Left = 8
    Top = 40
    Width = 97
    Height = 17
    Caption = 'Flag'
    Checked = True
    TabOrder = 4
    OnClick = cFlagClick
  end
  object gbUnit: TGroupBox
    Left = 8
    Top = 64
    Width = 120
    Height = 64
    Caption = 'Unit'
    TabOrder = 5
    object rMM: TRadioButton
      Left = 8
      Top = 18
      Width = 100
      Height = 17
      Caption = 'mm'
      Checked = True
      TabOrder = 0
      OnClick = rMMClick
    end
    object rInch: TRadioButton
      Left = 8
      Top = 40
      Width = 100
      Height = 17
      Caption = 'inch'
      TabOrder = 1
      OnClick = rMMClick
    end
  end
  object cUnit: TComboBox
    Left = 140
    Top = 40
    Width = 80
    Height = 21
    Style = csDropDownList
    ItemIndex = 1
    Items.Strings = (
      'mm'
      'inch'
      'feet')
    TabOrder = 6
    OnChange = cUnitChange
  end
  object mNotes: TMemo
    Left = 140
    Top = 68
    Width = 120
    Height = 60
    Lines.Strings = (
      'first'
      'second')
    ScrollBars = ssVertical
    TabOrder = 7
  end
  object lbList: TListBox
    Left = 270
    Top = 40
    Width = 140
    Height = 88
    Items.Strings = (
      'alpha'
      'beta')
    TabOrder = 8
    OnClick = lbListClick
  end
  object pTab: TPageControl
    Left = 8
    Top = 136
    Width = 260
    Height = 140
    ActivePage = tsOne
    TabOrder = 9
    OnChange = pTabChange
    object tsOne: TTabSheet
      Caption = 'One'
      OnEnter = tsOneEnter
      object eOnPage: TEdit
        Left = 8
        Top = 8
        Width = 100
        Height = 21
        TabOrder = 0
      end
    end
    object tsTwo: TTabSheet
      Caption = 'Two'
      ImageIndex = 1
      object lOnTwo: TLabel
        Left = 8
        Top = 8
        Width = 40
        Height = 13
        Caption = 'second'
      end
    end
    object tsHidden: TTabSheet
      Caption = 'Hidden'
      TabVisible = False
    end
  end
  object pnBar: TPanel
    Left = 276
    Top = 136
    Width = 136
    Height = 60
    BevelOuter = bvLowered
    Caption = 'Bar'
    Color = 16777215
    TabOrder = 10
    object sbCalc: TSpeedButton
      Left = 4
      Top = 4
      Width = 60
      Height = 22
      AllowAllUp = True
      GroupIndex = 1
      Caption = 'Calc'
      OnClick = sbCalcClick
    end
    object sbOther: TSpeedButton
      Left = 4
      Top = 30
      Width = 60
      Height = 22
      GroupIndex = 2
      Caption = 'Other'
    end
    object bRight: TButton
      Left = 96
      Top = 4
      Width = 36
      Height = 22
      Anchors = [akTop, akRight]
      Caption = 'R'
      TabOrder = 0
    end
    object lOnBar: TLabel
      Left = 70
      Top = 34
      Width = 20
      Height = 13
      Caption = 'lbl'
    end
  end
  object shMark: TShape
    Left = 276
    Top = 204
    Width = 20
    Height = 20
    Brush.Color = 128
    Pen.Style = psClear
    Shape = stCircle
  end
  object bvLine: TBevel
    Left = 8
    Top = 280
    Width = 240
    Height = 4
    Shape = bsTopLine
  end
  object stInfo: TStaticText
    Left = 300
    Top = 204
    Width = 40
    Height = 17
    BorderStyle = sbsSunken
    Caption = 'info'
    TabOrder = 11
  end
  object sbArea: TScrollBox
    Left = 300
    Top = 228
    Width = 110
    Height = 52
    TabOrder = 12
    object imLogo: TImage
      Left = 0
      Top = 0
      Width = 200
      Height = 90
    end
  end
  object tiTick: TTimer
    Enabled = False
    Interval = 20
    OnTimer = tiTickTimer
  end
  object ilGlyphs: TImageList
    Height = 8
    Width = 8
  end
end
